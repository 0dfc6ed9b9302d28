#include "tests/support/message_pump.h"

#include <string>

namespace {
// How long one round sleeps when nothing arrives.
constexpr DWORD kPollMs = 10;

struct DialogSearch {
    DWORD processId;
    const std::function<bool(HWND)>* accept;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM context)
{
    DialogSearch& search = *reinterpret_cast<DialogSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (owner != search.processId || lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    if (!(*search.accept)(window))
        return TRUE;
    search.found = window;
    return FALSE;
}
}  // namespace

void PumpPendingMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

void PumpFor(DWORD ms)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        PumpPendingMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpFor(kPollMs);
    }
    return true;
}

HWND WaitForDialogWhere(DWORD processId, const std::function<bool(HWND)>& accept, DWORD timeoutMs)
{
    DialogSearch search = {processId, &accept, nullptr};
    PumpUntil(
        [&search] {
            EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

HWND WaitForDialog(DWORD processId, const char* caption, DWORD timeoutMs)
{
    return WaitForDialogWhere(
        processId,
        [caption](HWND dialog) {
            char text[128] = "";
            GetWindowTextA(dialog, text, sizeof text);
            return lstrcmpA(text, caption) == 0;
        },
        timeoutMs);
}
