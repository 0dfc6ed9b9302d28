#include <gtest/gtest.h>
#include <windows.h>

#include <initializer_list>

#include "host/game_processes.h"

namespace {

void Fill(ProcessIds* list, std::initializer_list<DWORD> ids)
{
    for (DWORD id : ids)
        ASSERT_TRUE(list->Add(id));
}

// The game is process 100; its launcher's child, 200, is known too (ended or
// not); 7 ran in the job before the game.
TEST(GameLineage, CountsTheGameAndWhatDescendsFromItOnly)
{
    ProcessIds game, before;
    Fill(&game, {100, 200});
    Fill(&before, {7, 8});
    struct Case { const char* what; DWORD id, parentId; bool game; } cases[] = {
        {"the game itself", 100, 1, true},
        {"a known child", 200, 100, true},
        {"a new child of the game", 300, 100, true},
        {"a grandchild", 400, 200, true},
        {"a process that joined the job later", 500, 1, false},
        {"a child of one that ran before", 600, 7, false},
        {"one that ran before, its parent's id now the game's", 8, 100, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.game, DescendsFromGame(c.id, c.parentId, game, before)) << c.what;
}

// A stand-in for the system's job query: a job of `g_jobSize` processes,
// answered as Windows 7 does when they do not fit: ERROR_MORE_DATA and no
// ids at all. Between two questions the job grows `g_factor` times and by
// `g_growth` more.
DWORD g_jobSize;
DWORD g_factor;
DWORD g_growth;
int g_questions;

BOOL WINAPI AnswerLikeWindows7(HANDLE, JOBOBJECTINFOCLASS, void* info, DWORD size, DWORD*)
{
    ++g_questions;
    auto* list = static_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(info);
    const DWORD room = (size - offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList)) / sizeof(ULONG_PTR);
    const DWORD sizeNow = g_jobSize;
    g_jobSize = g_jobSize * g_factor + g_growth;
    list->NumberOfAssignedProcesses = sizeNow;
    if (room < sizeNow) {
        list->NumberOfProcessIdsInList = 0;
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    list->NumberOfProcessIdsInList = sizeNow;
    for (DWORD i = 0; i < sizeNow; ++i)
        list->ProcessIdList[i] = 1000 + i;
    return TRUE;
}

TEST(JobList, HoldsEveryProcessHoweverManyAndAsksAgainWhileTheJobGrows)
{
    struct Case { DWORD size, factor, growth; bool listed; } cases[] = {
        {3, 1, 0, true}, {64, 1, 0, true}, {65, 1, 0, true}, {500, 1, 0, true},
        {500, 1, 600, true},  // grows past the room asked for the second time
        {65, 3, 0, false},    // outgrows every list: the run cannot say
    };
    for (const Case& c : cases) {
        g_jobSize = c.size;
        g_factor = c.factor;
        g_growth = c.growth;
        g_questions = 0;
        ProcessIds ids;
        EXPECT_EQ(c.listed, ListJobProcessesForTest(AnswerLikeWindows7, nullptr, &ids)) << c.size << '*' << c.factor << '+' << c.growth;
        if (!c.listed)
            continue;
        ASSERT_GE(ids.Count(), static_cast<int>(c.size)) << c.size;
        EXPECT_EQ(1000u, ids[0]);
        EXPECT_EQ(1000u + ids.Count() - 1, ids[ids.Count() - 1]);
        EXPECT_LE(g_questions, 3) << c.size;
    }
}

}  // namespace
