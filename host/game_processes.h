// host/game_processes.h: which processes are the game. The game may start
// others (a launcher hands over to the real game and ends), and the run needs
// every one of them and none that is not the game's. Two places can say: a
// job that holds nothing but the game (the saver's own), and, where the
// system keeps the game in the job it started the saver in, those of that
// job's processes that descend from the game.
#pragma once
#include <windows.h>

#include "common/heap_array.h"

// Process ids, as many as the system lists.
using ProcessIds = HeapArray<DWORD>;

// The processes of a job (null: the one this process runs in), however many:
// the list is sized from the job's own count and asked for again while the
// job grows. False where the system cannot say.
bool ListJobProcesses(HANDLE job, ProcessIds* out);

// How many processes of a job run now, by the job's own count, which always
// fits. False where the system cannot say.
bool CountJobProcesses(HANDLE job, DWORD* running);

// The same through a stand-in for QueryInformationJobObject, for tests.
using QueryInformationJobObjectFn = BOOL(WINAPI*)(HANDLE, JOBOBJECTINFOCLASS, void*, DWORD, DWORD*);
bool ListJobProcessesForTest(QueryInformationJobObjectFn query, HANDLE job, ProcessIds* out);

// Pure: whether a process of a shared job is the game's: one known to be;
// not one known to be another's (it ran there before the game, or joined
// from elsewhere); else one whose parent (the process that made it, by id)
// is known to be the game's, or has ended unseen (`parentRuns` false): a
// launcher's helper may start the game and end before the run looks, and
// nothing else starts processes in that job once the game runs, apart from
// those known to be another's. A parent that runs and is not the game's
// makes its child another's.
bool DescendsFromGame(DWORD id, DWORD parentId, bool parentRuns, const ProcessIds& game, const ProcessIds& others);

// The game's processes in a job it shares with others, followed from parent
// to child. A process id passes to another process only once nothing holds
// the process open, so the lineage holds open every process it has judged,
// the game's and the others': an id it knows cannot come to name another
// process, and a parent's id cannot be another's. Judged once, a process
// stays judged: a look that finds nothing new costs one job list.
class GameLineage {
public:
    GameLineage() = default;
    ~GameLineage();
    GameLineage(const GameLineage&) = delete;
    GameLineage& operator=(const GameLineage&) = delete;

    // Begins with the process the saver started (held open by the caller for
    // the whole run, and not yet let run) and what else the job holds at that
    // moment. False where the system cannot tell a process's parent (no
    // Toolhelp before Windows 2000) or there is no memory for the lists.
    bool Begin(DWORD gameId, const ProcessIds& jobNow);
    // Of the job's processes now, the game's, in `game`; false where the
    // system cannot say this time.
    bool List(const ProcessIds& jobNow, ProcessIds* game);

private:
    bool HoldOpen(DWORD id);
    bool Judge(const ProcessIds& jobNow);

    ProcessIds game_;         // the game's processes known so far, ended ones too
    ProcessIds others_;       // what ran in the job before the game, or joined from elsewhere
    HeapArray<HANDLE> held_;  // the handles that keep those ids theirs
};
