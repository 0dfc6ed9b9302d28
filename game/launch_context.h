// game/launch_context.h: how the game may be started from the process the
// system runs the saver in. On the NT family that process may sit in a job
// the system made for it, and the logon screen saver of Windows 2000 to
// Server 2003 runs under a system account. Each question is decided by a
// pure function over what the system reports, and read from the system by
// one call beside it.
#pragma once
#include <windows.h>

// Pure: the creation flags for the game. Everywhere it starts with the
// system's error mode (CREATE_DEFAULT_ERROR_MODE). On the NT family it starts
// suspended, to be put into the saver's own job before it runs a line, and
// leaves the job the system put the saver in, whose limits are the saver's,
// not the game's. Windows 95/98 know no jobs: there the game starts as it
// always has.
DWORD GameCreationFlags(bool windows9x, bool saverInJob);

// The saver's process belongs to a job. False where the system cannot say
// (before Windows XP).
bool SaverIsInJob();

// Starts the game with these creation flags, as CreateProcessA would. Where
// a job further out refuses to let the game leave (ERROR_ACCESS_DENIED) it
// is started again inside it. A game started suspended is put into a job of
// the saver's own that ends it when the saver's last handle to that job
// closes, so a saver ended from outside takes its game along; where the
// system has no jobs or refuses the assignment (no nesting before Windows 8)
// it runs without. Then it is let go. On failure, GetLastError holds the
// code and no game runs.
BOOL StartGameProcess(char* commandLine, DWORD flags, const STARTUPINFOA& startup,
                      PROCESS_INFORMATION* game);

// Pure: whether a token's user is LocalSystem, LocalService or NetworkService
// (S-1-5-18, -19, -20): an account nobody signed in as, whose game would be
// in the hands of whoever passes the screen.
bool IsServiceAccountSid(const SID* user);

// The process's own token user is a service account. False where the token
// cannot be read (Windows 95/98): the saver then runs as it always has.
bool RunsAsServiceAccount();
