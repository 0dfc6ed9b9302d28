#include "host/game_watch.h"

#include "common/entry_lookup.h"

namespace {
// Looked up at run time: Windows 95/98 and NT 4.0 lack it, and a static import
// would keep them from loading the saver at all.
using GetLastInputInfoFn = BOOL(WINAPI*)(LASTINPUTINFO*);

// How often the watch looks at the game and the player's input.
constexpr DWORD kLookIntervalMs = 100;
// What a game ended by the saver exits with: it did not end by itself.
constexpr UINT kEndedGameExitCode = 1;

// The tick of the last input, as the system counts it; false where the system
// cannot say, and the game is then left to end by itself.
bool ReadLastInputTick(GetLastInputInfoFn lastInput, DWORD* tick)
{
    LASTINPUTINFO info = {};
    info.cbSize = sizeof info;
    if (!lastInput || !lastInput(&info))
        return false;
    *tick = info.dwTime;
    return true;
}

// Visits the game's visible top-level windows: asks each to close, or only
// notes that there is one.
struct GameWindows {
    DWORD processId;
    bool askToClose;
    bool found;
};

BOOL CALLBACK VisitGameWindow(HWND window, LPARAM context)
{
    GameWindows* visit = reinterpret_cast<GameWindows*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != visit->processId || !IsWindowVisible(window))
        return TRUE;
    visit->found = true;
    if (!visit->askToClose)
        return FALSE;
    // Posted: a game that does not answer must not hold the saver.
    PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

bool VisitGameWindows(DWORD gameProcessId, bool askToClose)
{
    GameWindows visit = {gameProcessId, askToClose, false};
    EnumWindows(VisitGameWindow, reinterpret_cast<LPARAM>(&visit));
    return visit.found;
}

void HandlePendingMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
}  // namespace

bool InputIsThePlayers(DWORD startAgoMs, bool windowShown, DWORD windowAgoMs)
{
    return (windowShown && windowAgoMs >= kSettleMs) || startAgoMs >= kLongestSettleMs;
}

WatchStep DecideWatchStep(bool inputSeen, DWORD inputAgoMs, bool askedToClose, DWORD askedAgoMs)
{
    if (askedToClose)
        return askedAgoMs >= kCloseAnswerMs ? WatchStep::End : WatchStep::Wait;
    return inputSeen && inputAgoMs >= kInputAnswerMs ? WatchStep::AskToClose : WatchStep::Wait;
}

void StayWithGame(HANDLE game, DWORD gameProcessId)
{
    auto lastInput = LookUpEntry<GetLastInputInfoFn>(GetModuleHandleA("USER32.DLL"), "GetLastInputInfo");
    const DWORD startTick = GetTickCount();
    DWORD settledInputTick = 0;  // the last input before the player's counts
    bool windowShown = false, inputSeen = false, askedToClose = false;
    DWORD windowTick = 0, inputTick = 0, askedTick = 0;
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjects(1, &game, FALSE, kLookIntervalMs, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED)
            return;  // ended; or no longer a handle to wait on, which waiting cannot mend
        HandlePendingMessages();

        const DWORD now = GetTickCount();
        if (!windowShown && VisitGameWindows(gameProcessId, false)) {
            windowShown = true;
            windowTick = now;
        }
        DWORD lastTick = 0;
        if (!inputSeen && ReadLastInputTick(lastInput, &lastTick)) {
            if (!InputIsThePlayers(now - startTick, windowShown, now - windowTick)) {
                settledInputTick = lastTick;
            } else if (lastTick != settledInputTick) {
                inputSeen = true;
                inputTick = now;
            }
        }
        switch (DecideWatchStep(inputSeen, now - inputTick, askedToClose, now - askedTick)) {
        case WatchStep::Wait:
            break;
        case WatchStep::AskToClose:
            VisitGameWindows(gameProcessId, true);
            askedToClose = true;
            askedTick = now;
            break;
        case WatchStep::End:
            // Refused (another user's game): the run stays with it, and tries again.
            TerminateProcess(game, kEndedGameExitCode);
            break;
        }
    }
}
