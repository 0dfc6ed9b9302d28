// run/game_run.h: the game's run, from its start to its end. The full-screen
// saver starts the game and refuses its own window; from then on the game is
// the screen saver, and this module owns everything the run holds: the game's
// process, the job the game runs in, and the wait for its end.
//
// Windows 95/98 hand the screen over: the saver ends while the game runs on.
//
// The NT family counts the saver's process as "the screen saver is running":
// its password lock after the grace period, its idle timer and the saver's
// desktop on every monitor last as long as that process. So there the saver
// stays as long as anything of the game runs: the process it started and
// everything that started, so that a launcher handing over to the real game
// and ending at once leaves the run with the real game. Where it can, the
// saver holds the game in a job of its own, which ends the game with the
// saver however the saver ends; where the system refuses that job, the job
// the system started the saver in says what the game is, and where neither
// can say, the process the saver started alone (run/game_processes.h). The
// game runs in the saver's priority class (idle, as the system runs savers).
// The game is expected to end on input; for one that does not, the player's
// input (run/player_input.h, watched from before the game starts) ends the
// run all the same: kInputAnswerMs after it every visible top-level window of
// the game is asked to close, and kCloseAnswerMs after that the game ends.
// Each decision is said on the debugger output (system/decision_trace.h).
#pragma once
#include <windows.h>

constexpr DWORD kInputAnswerMs = 3000;
constexpr DWORD kCloseAnswerMs = 3000;

// Starts the game with this command line, shown as `startup` asks, and makes
// it this process's run (one per process). On failure GetLastError holds the
// code and no game runs.
BOOL StartGameRun(char* commandLine, const STARTUPINFOA& startup);

// The process the run started, or null when there is no run.
HANDLE GameRunProcess();

// On the NT family returns once nothing of the game runs any more, handling
// the thread's messages meanwhile; on Windows 95/98, and without a run, at
// once. Either way the run is over afterwards and its handles are closed.
void StayWithGameRun();

// Pure: whether a failure to create the game inside the saver's own job was
// the game's own file (not found, not a program, its name too long), which
// a start without the job would meet again. Any other failure is the job's,
// and the game is started without it.
bool IsGameFileError(DWORD error);
