// game/launch_context.h: whether the game may be started from the process
// the system runs the saver in at all. The logon screen saver of Windows 2000
// to Server 2003 runs under a system account, and a game started there would
// be in the hands of whoever passes the screen. A pure decision over the
// token's user, and the one call that reads it from the system.
#pragma once
#include <windows.h>

// Pure: whether a token's user is LocalSystem, LocalService or NetworkService
// (S-1-5-18, -19, -20): an account nobody signed in as, whose game would be
// in the hands of whoever passes the screen.
bool IsServiceAccountSid(const SID* user);

// The process's own token user is a service account. False where the token
// cannot be read (Windows 95/98): the saver then runs as it always has.
bool RunsAsServiceAccount();
