#include "host/crash_guard.h"

#include "host/password.h"

#if defined(__x86_64__)  // the 32-bit guard is in crash_guard.cpp

// x86_64 has no fs:[0] chain of exception frames: the system finds handlers in
// the unwind tables of the code, and GCC offers no way to put one of ours there.
// So the 64-bit guard uses the hook that exists on every Windows: the process's
// top-level exception filter, which UnhandledExceptionFilter calls once every
// frame has declined the exception (and no debugger is attached, which then
// gets the exception itself). A vectored handler would not do: it sees every
// exception first, also those that code further in handles as a matter of
// course. The filter is process-wide; the saver has one thread.
//
// The filter neither resumes the faulting code nor unwinds back into
// RunWithCrashGuard: it turns the screen-saver-running switch off first and
// then ends the process with the exception's code, the same end the 32-bit
// guard reaches by returning that code to the entry, which passes it to
// ExitProcess. Ending from inside the filter is the safe choice: nothing of
// the broken call chain runs again and no half-unwound stack is used, whereas
// a jump back over frames that the compiler never expected to be left that
// way could run on with whatever state the fault left behind.

namespace {
// What the guard remembers. Only this file writes it.
void (*g_endObserver)(DWORD exceptionCode);  // tests only: sees the last moment, or null

LONG WINAPI EndProcessOnEscapedException(EXCEPTION_POINTERS* pointers)
{
    const DWORD code = pointers->ExceptionRecord->ExceptionCode;
    SetScreenSaverRunning(0);
    if (g_endObserver)
        g_endObserver(code);
    ExitProcess(code);
}
}  // namespace

void SetCrashEndObserverForTest(void (*observer)(DWORD exceptionCode)) { g_endObserver = observer; }

int RunWithCrashGuard(int (*body)(void*), void* context)
{
    const LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(EndProcessOnEscapedException);
    const int result = body(context);
    SetUnhandledExceptionFilter(previous);
    return result;
}

#endif  // __x86_64__
