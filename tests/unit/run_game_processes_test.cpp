#include <gtest/gtest.h>
#include <windows.h>

#include <initializer_list>

#include "run/game_processes.h"

namespace {

void Fill(ProcessIds* list, std::initializer_list<DWORD> ids)
{
    for (DWORD id : ids)
        ASSERT_TRUE(list->Add(id));
}

// The game is process 100, created at time 1000; its launcher's child, 200,
// is known too (ended or not); 7 ran in the job before the game, 9 joined it
// from elsewhere. Times of 0 are the system giving none (as Wine does).
TEST(GameLineage, CountsTheGameAndWhatTheGameCouldHaveStartedOnly)
{
    ProcessIds game, others;
    Fill(&game, {100, 200});
    Fill(&others, {7, 8, 9});
    struct Case { const char* what; ProcessOrigin process; bool game; } cases[] = {
        {"the game itself", {100, 1, true, 0, 0}, true},
        {"a known child", {200, 100, false, 0, 0}, true},
        {"a new child of the game", {300, 100, true, 0, 0}, true},
        {"a grandchild", {400, 200, false, 0, 0}, true},
        {"a process that joined the job later", {500, 1, true, 0, 0}, false},
        {"a child of one that ran before", {600, 7, false, 0, 0}, false},
        {"a child of one that joined later", {610, 9, true, 0, 0}, false},
        {"one that ran before, its parent's id now the game's", {8, 100, true, 0, 0}, false},
        {"a launcher's helper's game, the helper ended unseen", {700, 650, false, 0, 0}, true},
        {"the same with times", {700, 650, false, 1200, 0}, true},
        {"the helper's id already another's, a stranger's younger than the game", {700, 650, true, 1200, 1300}, true},
        {"a child in its parent's tick", {710, 100, true, 1000, 1000}, true},
        {"a stranger whose parent has gone, older than the game", {800, 650, false, 900, 0}, false},
        {"a stranger whose parent's id is now the game's", {810, 100, true, 900, 1000}, false},
        {"a stranger whose parent runs", {820, 5, true, 1200, 800}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.game, DescendsFromGame(c.process, 1000, game, others)) << c.what;
}

// An ended process stays in the job's list while handles to it are open,
// and the lineage holds one: it is not the game running, or the run would
// look again for ever.
TEST(GameLineage, AnEndedProcessOfTheGameIsNoLongerListed)
{
    char commandLine[] = "cmd.exe /c exit";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &child));
    ProcessIds job, game;
    Fill(&job, {child.dwProcessId});
    GameLineage lineage;
    ASSERT_TRUE(lineage.Begin(child.dwProcessId, ProcessCreationTime(child.hProcess), job));
    ASSERT_TRUE(lineage.List(job, &game));
    EXPECT_EQ(1, game.Count());
    TerminateProcess(child.hProcess, 1);
    WaitForSingleObject(child.hProcess, 5000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_TRUE(lineage.List(job, &game));
    EXPECT_EQ(0, game.Count());
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
