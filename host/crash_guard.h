// host/crash_guard.h: the one structured-exception guard of the process, around
// the mode dispatch. A fault that the system's unhandled-exception filter hands
// back to us turns the screen-saver-running switch off and ends the mode.
#pragma once
#include <windows.h>

// Runs body(context) and returns its result. When an exception escapes it and
// UnhandledExceptionFilter answers EXCEPTION_EXECUTE_HANDLER, the switch is
// turned off and the exception code is returned instead (32-bit). The 64-bit
// guard turns the switch off and ends the process with that code at once.
int RunWithCrashGuard(int (*body)(void*), void* context);

// 64-bit only. The observer runs in the guard just before the process ends, so a
// test can look at the switch at that moment; null removes it.
void SetCrashEndObserverForTest(void (*observer)(DWORD exceptionCode));
