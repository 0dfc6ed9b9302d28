#include "shell/crash_guard.h"

#include "shell/password.h"

// GCC has no __try/__except, so the guard registers an exception frame by hand.
// On i686 Windows the frames form a chain whose head is at fs:[0]; the system
// calls each frame's handler, innermost first, when an exception is raised.
// Ours first turns the screen-saver-running switch off, then asks
// UnhandledExceptionFilter what to do: that filter may hand the process to a
// debugger or end it outright, and a Windows 95/98 machine left with the switch
// on has its system keys disabled. To handle the exception it
// unwinds the frames registered inside the body (so their clean-up runs),
// takes its own frame off the chain and jumps back into RunWithCrashGuard with
// __builtin_longjmp; the abandoned part of the stack is simply dropped.

#ifdef _WIN64
// x86-64 Windows finds its handlers in tables, not on a chain, so the 64-bit
// build (the one the tests run where a machine runs no 32-bit program) guards
// with the process's top-level filter, which UnhandledExceptionFilter asks when
// nothing else handled the exception and no debugger is there: it turns the
// switch off and jumps back into RunWithCrashGuard, as the chain's handler
// does when that filter says to handle the exception.
namespace {
void* g_resumePoint[5];  // __builtin_setjmp buffer of the guard that runs
DWORD g_exceptionCode;

LONG WINAPI GuardFilter(EXCEPTION_POINTERS* pointers)
{
    SetScreenSaverRunning(0);
    g_exceptionCode = pointers->ExceptionRecord->ExceptionCode;
    __builtin_longjmp(g_resumePoint, 1);
}
}  // namespace

int RunWithCrashGuard(int (*body)(void*), void* context)
{
    const LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(GuardFilter);
    int result;
    if (__builtin_setjmp(g_resumePoint) == 0)
        result = body(context);
    else
        result = static_cast<int>(g_exceptionCode);
    SetUnhandledExceptionFilter(previous);
    return result;
}
#else
namespace {
struct GuardFrame {
    // Must come first: the system sees only this part of the record.
    EXCEPTION_REGISTRATION_RECORD registration;
    void* resumePoint[5];  // __builtin_setjmp buffer
    DWORD exceptionCode;
};

EXCEPTION_REGISTRATION_RECORD* ExceptionListHead()
{
    EXCEPTION_REGISTRATION_RECORD* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetExceptionListHead(EXCEPTION_REGISTRATION_RECORD* head)
{
    asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

// RtlUnwind may return with ebx, esi, edi and ebp changed, which the compiler
// expects to survive a call; save them around it. Ebp may be the frame
// pointer, which the asm cannot name as clobbered, so all four are saved by
// hand whatever the compiler made of this function.
__attribute__((noinline)) void UnwindFramesAbove(void* targetFrame, EXCEPTION_RECORD* record)
{
    asm volatile(
        "pushl %%ebp\n\t"
        "pushl %%ebx\n\t"
        "pushl %%esi\n\t"
        "pushl %%edi\n\t"
        "pushl $0\n\t"  // return value
        "pushl %1\n\t"  // exception record
        "pushl $0\n\t"  // target instruction: return here
        "pushl %0\n\t"  // target frame
        "call _RtlUnwind@16\n\t"
        "popl %%edi\n\t"
        "popl %%esi\n\t"
        "popl %%ebx\n\t"
        "popl %%ebp\n\t"
        :
        : "r"(targetFrame), "r"(record)
        : "eax", "ecx", "edx", "memory", "cc");
}

EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* establisherFrame,
                                           CONTEXT* context, void*)
{
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;  // being unwound past: nothing to clean up

    SetScreenSaverRunning(0);
    EXCEPTION_POINTERS pointers = {record, context};
    const LONG answer = UnhandledExceptionFilter(&pointers);
    if (answer == EXCEPTION_CONTINUE_EXECUTION) {
        // Someone repaired the fault and the saver runs on: a lock that is
        // still on needs the switch back.
        if (CurrentPasswordVerifier())
            SetScreenSaverRunning(1);
        return ExceptionContinueExecution;
    }
    if (answer != EXCEPTION_EXECUTE_HANDLER)
        return ExceptionContinueSearch;

    GuardFrame* guard = static_cast<GuardFrame*>(establisherFrame);
    guard->exceptionCode = record->ExceptionCode;
    UnwindFramesAbove(establisherFrame, record);
    SetExceptionListHead(guard->registration.Next);
    __builtin_longjmp(guard->resumePoint, 1);
}
}  // namespace

int RunWithCrashGuard(int (*body)(void*), void* context)
{
    GuardFrame guard = {};
    guard.registration.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(GuardHandler);
    guard.registration.Next = ExceptionListHead();
    SetExceptionListHead(&guard.registration);

    if (__builtin_setjmp(guard.resumePoint) == 0) {
        const int result = body(context);
        SetExceptionListHead(guard.registration.Next);
        return result;
    }
    // Back from the handler, which has already taken the frame off the chain
    // and turned the switch off.
    return static_cast<int>(guard.exceptionCode);
}
#endif
