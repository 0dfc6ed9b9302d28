// run/game_processes.h: which processes are the game. The game may start
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

// What the lineage knows of a process of the job as it judges it. Creation
// times are the system's (a FILETIME as one number), 0 where it gives none
// (Wine gives none for another process).
struct ProcessOrigin {
    DWORD id;
    DWORD parentId;           // the process that made it, by id
    bool parentListed;        // a process of that id runs now
    ULONGLONG created;
    ULONGLONG parentCreated;  // of the process that has the parent's id now
};

// Pure: whether a process of a shared job is the game's: one known to be;
// not one known to be another's (it ran there before the game, or joined
// from elsewhere). Else it goes by its parent, but only by a process that
// could have made it: one there before it (an id passes to another process
// once nothing holds the first one open). The game's parent makes it the
// game's, another's or any other running process makes it another's. One
// whose parent has ended unseen is the game's only if it came after the game
// (where the system gives no times, always: a launcher's helper may start
// the game and end before the run looks, and the job gets no strangers once
// the game runs but those known to be another's).
bool DescendsFromGame(const ProcessOrigin& process, ULONGLONG gameCreated, const ProcessIds& game,
                      const ProcessIds& others);

// A process the lineage holds open, so that its id stays its own.
struct HeldProcess {
    DWORD id;
    HANDLE handle;
};

// The game's processes in a job it shares with others, followed from parent
// to child. A process id passes to another process only once nothing holds
// the process open, so the lineage holds open every process it has judged,
// the game's and the others': an id it knows cannot come to name another
// process, and a parent's id cannot be another's. Judged once, a process
// stays judged: a look that finds nothing new costs one job list. One that
// cannot be held open is gone for the run: it could be neither followed nor
// ended, and its id could pass to another.
class GameLineage {
public:
    GameLineage() = default;
    ~GameLineage();
    GameLineage(const GameLineage&) = delete;
    GameLineage& operator=(const GameLineage&) = delete;

    // Begins with the process the saver started (held open by the caller for
    // the whole run, and not yet let run), its creation time (0: unknown),
    // and what else the job holds at that moment. False where the system
    // cannot tell a process's parent (no Toolhelp before Windows 2000) or
    // there is no memory for the lists.
    bool Begin(DWORD gameId, ULONGLONG gameCreated, const ProcessIds& jobNow);
    // Of the job's processes now, the game's that still run, in `game`;
    // false where the system cannot say this time.
    bool List(const ProcessIds& jobNow, ProcessIds* game);
    // Whether the last List judged a process that was new to it.
    bool JudgedNewAtLastList() const { return judgedNew_; }

private:
    bool IsJudged(DWORD id) const;
    bool HoldOpen(DWORD id, ULONGLONG* created);
    const HeldProcess* Held(DWORD id) const;
    bool Judge(const ProcessIds& jobNow);

    ULONGLONG gameCreated_ = 0;
    ProcessIds game_;              // the game's processes known so far, ended ones too
    ProcessIds others_;            // what ran in the job before the game, or joined from elsewhere
    ProcessIds gone_;              // the game's that could not be held open
    HeapArray<HeldProcess> held_;  // the handles that keep those ids theirs
    bool judgedNew_ = false;
};

// The creation time of a process opened with the right to ask (0: unknown).
ULONGLONG ProcessCreationTime(HANDLE process);
