#include "tests/support/message_pump.h"

#include <string>

#include "res/resource.h"

namespace {
struct DialogSearch {
    DWORD processId;
    const std::function<bool(HWND)>* accept;
    HWND found;
};

bool HasCaption(HWND dialog, const char* caption)
{
    char text[128] = "";
    GetWindowTextA(dialog, text, sizeof text);
    return lstrcmpA(text, caption) == 0;
}

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
    for (DWORD elapsed = 0; elapsed < ms; elapsed = GetTickCount() - start) {
        PumpPendingMessages();
        const DWORD left = ms - elapsed;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < kDefaultPollMs ? left : kDefaultPollMs, QS_ALLINPUT);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        PumpFor(pollMs);
    }
    return true;
}

bool MakeForegroundWindow(HWND window, DWORD timeoutMs)
{
    return PumpUntil(
        [window] {
            SetForegroundWindow(window);
            PumpPendingMessages();
            return GetForegroundWindow() == window;
        },
        timeoutMs);
}

HWND WaitForDialogWhere(DWORD processId, const std::function<bool(HWND)>& accept, DWORD timeoutMs,
                        DWORD pollMs)
{
    DialogSearch search = {processId, &accept, nullptr};
    PumpUntil(
        [&search] {
            EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs, pollMs);
    return search.found;
}

HWND WaitForDialog(DWORD processId, const char* caption, DWORD timeoutMs)
{
    return WaitForDialogWhere(
        processId,
        [caption](HWND dialog) { return HasCaption(dialog, caption); },
        timeoutMs);
}

HWND WaitForSetupDialog(DWORD processId, DWORD timeoutMs, DWORD pollMs)
{
    return WaitForDialogWhere(
        processId, [](HWND dialog) { return GetDlgItem(dialog, IDC_LAYOUT_LIST) != nullptr; },
        timeoutMs, pollMs);
}

HWND WaitForMessageBox(DWORD processId, const char* caption, DWORD timeoutMs)
{
    return WaitForDialogWhere(
        processId,
        [caption](HWND dialog) {
            return GetDlgItem(dialog, IDC_LAYOUT_LIST) == nullptr && HasCaption(dialog, caption);
        },
        timeoutMs);
}
