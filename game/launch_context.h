// game/launch_context.h: where and how the game may be started from the
// process the system runs the saver in. On Windows 10 and 11 that process
// lives on a desktop of its own and may sit in a job that dies with it; the
// logon screen saver of Windows 2000 to Server 2003 runs under a system
// account. Each question is decided by a pure function over what the system
// reports, and read from the system by one call beside it.
#pragma once
#include <windows.h>

// The desktop the game is started on: the user's interactive one, never the
// saver's own, which the system leaves as soon as the saver ends. Null on
// Windows 95/98, which have no desktops, so the game starts as it always has.
const char* GameDesktopName(bool windows9x);

// Pure: the creation flags for the game. A job that ends its processes when
// it is closed would take the game down with the saver; where such a job lets
// its processes leave, the game leaves it. Everywhere else the game starts as
// it always has (CREATE_DEFAULT_ERROR_MODE).
DWORD GameCreationFlags(bool inJob, DWORD jobLimitFlags);

// Pure: whether a token's user is LocalSystem, LocalService or NetworkService
// (S-1-5-18, -19, -20): an account nobody signed in as, whose game would be
// in the hands of whoever passes the screen.
bool IsServiceAccountSid(const SID* user);

// The process's own token user is a service account. False where the token
// cannot be read (Windows 95/98): the saver then runs as it always has.
bool RunsAsServiceAccount();

// The limit flags of the job this process belongs to; false when it is in
// none, or the system has no jobs (before Windows 2000).
bool ReadOwnJobLimits(DWORD* limitFlags);
