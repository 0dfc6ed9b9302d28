// run/game_run.h: the game's run, from its start to its end. On the NT
// family the game is the screen saver, so the saver stays as long as anything
// of the game runs; this module owns what the run holds (the game's process,
// its job, the wait for its end) and answers the player's input
// (run/player_input.h) for a game that does not end on it: kInputAnswerMs
// after it the game's windows are asked to close, kCloseAnswerMs after that
// the game ends. Which processes are the game: run/game_processes.h. The
// whole run, road by road: docs/DESIGN.md, "The game's run on the NT family".
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
