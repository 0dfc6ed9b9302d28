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
// not); 7 ran in the job before the game, 9 joined it from elsewhere.
TEST(GameLineage, CountsTheGameAndWhatDescendsFromItOnly)
{
    ProcessIds game, others;
    Fill(&game, {100, 200});
    Fill(&others, {7, 8, 9});
    struct Case { const char* what; DWORD id, parentId; bool parentRuns, game; } cases[] = {
        {"the game itself", 100, 1, true, true},
        {"a known child", 200, 100, false, true},
        {"a new child of the game", 300, 100, true, true},
        {"a grandchild", 400, 200, false, true},
        {"a process that joined the job later", 500, 1, true, false},
        {"a child of one that ran before", 600, 7, false, false},
        {"a child of one that joined later", 610, 9, true, false},
        {"one that ran before, its parent's id now the game's", 8, 100, true, false},
        {"one whose parent ended unseen: a launcher's helper", 700, 650, false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.game, DescendsFromGame(c.id, c.parentId, c.parentRuns, game, others)) << c.what;
}

// A stand-in for the system's job query: a job of `g_jobSize` processes,
// answered as Windows 7 does when they do not fit: ERROR_MORE_DATA and no
// ids at all. Between two questions the job grows `g_factor` times and by
// `g_growth` more. With `g_noCounts` it answers as a 32-bit process on
// 64-bit Windows 10 is reported to be answered: both counts 0.
bool g_noCounts;
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
        if (g_noCounts)
            list->NumberOfAssignedProcesses = 0;
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
    struct Case { DWORD size, factor, growth; bool noCounts, listed; int questions; } cases[] = {
        {3, 1, 0, false, true, 1}, {64, 1, 0, false, true, 1}, {65, 1, 0, false, true, 2},
        {500, 1, 0, false, true, 2},
        {500, 1, 600, false, true, 3},  // grows past the room asked for the second time
        {65, 3, 0, false, false, 8},    // outgrows every list: the run cannot say
        {65, 1, 0, true, true, 2},      // no counts: twice the room
        {3000, 1, 0, true, true, 7},    // no counts: the room doubles until it fits
        {20000, 1, 0, true, false, 8},  // no counts, and past every try: cannot say, not "none"
    };
    for (const Case& c : cases) {
        g_noCounts = c.noCounts;
        g_jobSize = c.size;
        g_factor = c.factor;
        g_growth = c.growth;
        g_questions = 0;
        ProcessIds ids;
        EXPECT_EQ(c.listed, ListJobProcessesForTest(AnswerLikeWindows7, nullptr, &ids)) << c.size << '*' << c.factor << '+' << c.growth;
        EXPECT_EQ(c.questions, g_questions) << c.size << (c.noCounts ? " without counts" : "");
        if (!c.listed)
            continue;
        ASSERT_GE(ids.Count(), static_cast<int>(c.size)) << c.size;
        EXPECT_EQ(1000u, ids[0]);
        EXPECT_EQ(1000u + ids.Count() - 1, ids[ids.Count() - 1]);
    }
}

}  // namespace
