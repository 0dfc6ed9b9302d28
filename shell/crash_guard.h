// shell/crash_guard.h: the one structured-exception guard of the process, around
// the mode dispatch. A fault turns the screen-saver-running switch off before
// the system's unhandled-exception filter sees it; when that filter hands it
// back to us, the mode ends.
#pragma once
#include <windows.h>

// Runs body(context) and returns its result. When an exception escapes it, the
// switch is turned off first; the guard then asks UnhandledExceptionFilter and,
// when it answers EXCEPTION_EXECUTE_HANDLER, returns the exception code instead.
int RunWithCrashGuard(int (*body)(void*), void* context);
