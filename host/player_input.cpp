#include "host/player_input.h"

#include "common/entry_lookup.h"
#include "host/decision_trace.h"
#include "host/dismissal.h"
#include "host/platform.h"

namespace {
// Looked up at run time: GetLastInputInfo came with Windows 2000 and
// GetPhysicalCursorPos with Vista.
using GetLastInputInfoFn = BOOL(WINAPI*)(LASTINPUTINFO*);
using GetPhysicalCursorPosFn = BOOL(WINAPI*)(POINT*);
// Desktops belong to the NT family.
using GetThreadDesktopFn = HDESK(WINAPI*)(DWORD);
using SetThreadDesktopFn = BOOL(WINAPI*)(HDESK);

// How often the watch asks whether the system saw input the hooks did not.
constexpr DWORD kLossCheckMs = 1000;
// How often the polling source looks, where the hooks were refused.
constexpr DWORD kPollMs = 250;
// Input this much later than the hooks' last event went past them; less is
// the clocks' own grain.
constexpr DWORD kUnseenSlackMs = 50;
// How long the start of the watch, and its end, may wait for its thread.
constexpr DWORD kWatchThreadWaitMs = 5000;

// The watch. WatchForPlayer writes it before the watch thread runs; from
// then on only the watch thread writes it (its hook procedures run on that
// thread, inside its message handling), and other threads read the input
// seen only once g_came is set, which the watch thread does after writing it.
HANDLE g_thread;              // the watch thread, or null when no watch runs
HDESK g_desktop;              // the desktop of the thread that began the watch, or null
HANDLE g_ready;               // set once the thread has chosen its source
HANDLE g_stop;                // set to end the watch
HANDLE g_came;                // set once the player has come
WatchSource g_source;         // where the watch learns of input
DWORD g_hooksRefusal;         // the error that refused the hooks, else 0
HHOOK g_keyboardHook;         // null when none is set
HHOOK g_mouseHook;            // null when none is set
POINT g_anchor;               // where the pointer was when the watch began
bool g_anchorKnown;           // false when it could not be read then
DWORD g_lastHookEventTick;    // when the hooks last saw an event
DWORD g_lastSystemInputTick;  // the system's last-input time at the last look
PlayersInput g_input;         // what the player did; None until the player comes
DWORD g_movePixels;           // for a move, how far from the anchor

HMODULE User() { return GetModuleHandleA("USER32.DLL"); }

// Where the pointer is, in the coordinates the hooks report: physical ones
// where the system scales the screen for programs unaware of it.
bool ReadPointer(POINT* pointer)
{
    auto physical = LookUpEntry<GetPhysicalCursorPosFn>(User(), "GetPhysicalCursorPos");
    return (physical ? physical(pointer) : GetCursorPos(pointer)) != FALSE;
}

bool ReadLastInputTick(DWORD* tick)
{
    auto lastInput = LookUpEntry<GetLastInputInfoFn>(User(), "GetLastInputInfo");
    LASTINPUTINFO info = {};
    info.cbSize = sizeof info;
    if (!lastInput || !lastInput(&info))
        return false;
    *tick = info.dwTime;
    return true;
}

// The Manhattan distance, each side taken from the larger coordinate so
// that no signed subtraction can overflow.
DWORD PointerDistance(POINT anchor, POINT pointer)
{
    const auto distance = [](LONG a, LONG b) {
        return a >= b ? static_cast<DWORD>(a) - static_cast<DWORD>(b) : static_cast<DWORD>(b) - static_cast<DWORD>(a);
    };
    return distance(pointer.x, anchor.x) + distance(pointer.y, anchor.y);
}

void NoteInput(PlayersInput input, DWORD pixels)
{
    if (input == PlayersInput::None || g_input != PlayersInput::None)
        return;
    g_input = input;
    g_movePixels = pixels;
}

LRESULT CALLBACK KeyboardHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        g_lastHookEventTick = GetTickCount();
        NoteInput(ClassifyHookEvent(static_cast<UINT>(wParam), g_anchor, g_anchor), 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        g_lastHookEventTick = GetTickCount();
        const MSLLHOOKSTRUCT* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        if (!g_anchorKnown) {
            // The pointer could not be read when the watch began: this is
            // the first place known, and never the player by itself.
            g_anchor = event->pt;
            g_anchorKnown = true;
        }
        NoteInput(ClassifyHookEvent(static_cast<UINT>(wParam), g_anchor, event->pt),
                  PointerDistance(g_anchor, event->pt));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void Unhook(HHOOK* hook)
{
    if (*hook)
        UnhookWindowsHookEx(*hook);
    *hook = nullptr;
}

// Sets both hooks, or neither (GetLastError says why). Hooks already set go
// only once the new ones are in place, so that no event falls between.
bool SetHooks()
{
    // A low-level hook needs a module even though it runs in this process.
    HHOOK keyboard = SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardHook, SaverInstance(), 0);
    HHOOK mouse = keyboard ? SetWindowsHookExA(WH_MOUSE_LL, MouseHook, SaverInstance(), 0) : nullptr;
    if (!mouse) {
        const DWORD code = GetLastError();
        Unhook(&keyboard);
        SetLastError(code ? code : ERROR_ACCESS_DENIED);
        return false;
    }
    Unhook(&g_keyboardHook);
    Unhook(&g_mouseHook);
    g_keyboardHook = keyboard;
    g_mouseHook = mouse;
    return true;
}

bool IsMouseButtonKey(int key)
{
    return key == VK_LBUTTON || key == VK_RBUTTON || key == VK_MBUTTON || key == VK_XBUTTON1 || key == VK_XBUTTON2;
}

// Which keys and buttons are down now, or were pressed since the last look.
void ReadKeys(bool* keyDown, bool* buttonDown)
{
    for (int key = 1; key < 255; ++key) {
        if (!(GetAsyncKeyState(key) & 0x8001))
            continue;
        if (IsMouseButtonKey(key))
            *buttonDown = true;
        else
            *keyDown = true;
    }
}

void BeginPolling()
{
    g_source = WatchSource::Polling;
    bool ignored = false;
    ReadKeys(&ignored, &ignored);  // forgets presses from before the watch
    if (!ReadLastInputTick(&g_lastSystemInputTick))
        g_lastSystemInputTick = 0;
}

void Poll()
{
    POINT pointer;
    if (!ReadPointer(&pointer))
        return;
    bool newInput = true;  // without the system's last-input time, every look may be the player
    DWORD tick = 0;
    if (ReadLastInputTick(&tick)) {
        newInput = tick != g_lastSystemInputTick;
        g_lastSystemInputTick = tick;
    }
    bool keyDown = false;
    bool buttonDown = false;
    ReadKeys(&keyDown, &buttonDown);
    const PlayersInput input = ClassifyPolledState(newInput, g_anchor, pointer, keyDown, buttonDown);
    if (input != PlayersInput::None)
        NoteInput(input, input == PlayersInput::Move ? PointerDistance(g_anchor, pointer) : 0);
    else if (!newInput)
        g_anchor = pointer;  // moved by a program, not by a hand
}

void CheckForLoss()
{
    DWORD tick = 0;
    if (!ReadLastInputTick(&tick) || !InputWentUnseen(tick, g_lastHookEventTick))
        return;
    g_lastHookEventTick = tick;  // that input is past, and does not count
    if (SetHooks()) {
        TraceDecision({"input watch set again: the system saw input the hooks did not"});
        return;
    }
    TraceFailure("setting the low-level hooks again", GetLastError());
    BeginPolling();
}

void HandleMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

DWORD WINAPI RunWatch(void*)
{
    // Hooks see the input of their thread's desktop, which must be the one
    // the saver and its game run on. Windows gives a new thread its process's
    // desktop; Wine gives it the user's, so the watch names it. This must come
    // before the thread's first window or hook.
    auto setDesktop = LookUpEntry<SetThreadDesktopFn>(User(), "SetThreadDesktop");
    if (g_desktop && setDesktop && !setDesktop(g_desktop))
        TraceFailure("moving the input watch to the saver's desktop", GetLastError());
    // The hooks report to this thread's message queue: make it now.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    g_lastHookEventTick = GetTickCount();
    g_source = WatchSource::Hooks;
    if (!SetHooks()) {
        g_hooksRefusal = GetLastError();
        BeginPolling();
    }
    DWORD ignored = 0;
    const bool lossCanBeSeen = ReadLastInputTick(&ignored);
    SetEvent(g_ready);

    DWORD lastLook = GetTickCount();
    while (g_input == PlayersInput::None) {
        // With the hooks, the watch sleeps until an event or the next check
        // for a loss; without them, until the next look.
        const DWORD period = g_source == WatchSource::Polling ? kPollMs : lossCanBeSeen ? kLossCheckMs : INFINITE;
        const DWORD sinceLook = GetTickCount() - lastLook;
        const DWORD timeLeft = period == INFINITE ? INFINITE : sinceLook >= period ? 0 : period - sinceLook;
        const DWORD woken = MsgWaitForMultipleObjects(1, &g_stop, FALSE, timeLeft, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED)
            break;
        HandleMessages();
        if (period != INFINITE && GetTickCount() - lastLook >= period) {
            lastLook = GetTickCount();
            if (g_source == WatchSource::Polling)
                Poll();
            else
                CheckForLoss();
        }
    }
    // Once the player is here, every further event would only cost the
    // system a round trip through this thread.
    Unhook(&g_keyboardHook);
    Unhook(&g_mouseHook);
    if (g_input != PlayersInput::None)
        SetEvent(g_came);
    return 0;
}

void TraceSource()
{
    if (g_source == WatchSource::Hooks) {
        TraceDecision({"input watch: low-level hooks on a thread of their own"});
    } else {
        TraceDecision({"input watch: hooks refused (error ", DecimalText(g_hooksRefusal).Text(),
                       "), watching the last-input time, the pointer and the keys"});
    }
}

void CloseWatchHandles()
{
    for (HANDLE* handle : {&g_thread, &g_ready, &g_stop, &g_came}) {
        if (*handle)
            CloseHandle(*handle);
        *handle = nullptr;
    }
}
}  // namespace

PlayersInput ClassifyHookEvent(UINT message, POINT anchor, POINT pointer)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return PlayersInput::Key;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
        return PlayersInput::Button;
    case WM_MOUSEMOVE:
        return MovedBeyondThreshold(anchor, pointer) ? PlayersInput::Move : PlayersInput::None;
    }
    return PlayersInput::None;
}

PlayersInput ClassifyPolledState(bool newInput, POINT anchor, POINT pointer, bool keyDown, bool buttonDown)
{
    if (!newInput)
        return PlayersInput::None;
    if (keyDown)
        return PlayersInput::Key;
    if (buttonDown)
        return PlayersInput::Button;
    return MovedBeyondThreshold(anchor, pointer) ? PlayersInput::Move : PlayersInput::None;
}

bool InputWentUnseen(DWORD systemLastInputTick, DWORD lastHookEventTick)
{
    // Signed difference: input before the last event is not unseen, even
    // across a wrap of the tick count.
    return static_cast<LONG>(systemLastInputTick - lastHookEventTick) > static_cast<LONG>(kUnseenSlackMs);
}

WatchSource WatchForPlayer()
{
    StopWatchingForPlayer();
    g_source = WatchSource::None;
    g_hooksRefusal = 0;
    g_input = PlayersInput::None;
    g_movePixels = 0;
    g_anchorKnown = ReadPointer(&g_anchor);
    auto desktopOf = LookUpEntry<GetThreadDesktopFn>(User(), "GetThreadDesktop");
    g_desktop = desktopOf ? desktopOf(GetCurrentThreadId()) : nullptr;  // not to be closed
    g_ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_came = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD threadId = 0;
    if (g_ready && g_stop && g_came)
        g_thread = CreateThread(nullptr, 0, RunWatch, nullptr, CREATE_SUSPENDED, &threadId);
    if (!g_thread) {
        TraceFailure("a thread for the input watch", GetLastError());
        CloseWatchHandles();
        return WatchSource::None;
    }
    // An event costs the thread a few microseconds; at this priority no busy
    // program of the normal class can keep it from them.
    SetThreadPriority(g_thread, THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(g_thread);
    HANDLE started[] = {g_ready, g_thread};
    if (WaitForMultipleObjects(2, started, FALSE, kWatchThreadWaitMs) != WAIT_OBJECT_0) {
        TraceFailure("starting the input watch", WAIT_TIMEOUT);
        return WatchSource::None;
    }
    TraceSource();
    return g_source;
}

HANDLE PlayerCameEvent() { return g_came; }
PlayersInput PlayersInputSeen() { return g_came && WaitForSingleObject(g_came, 0) == WAIT_OBJECT_0 ? g_input : PlayersInput::None; }
DWORD PlayersMovePixels() { return PlayersInputSeen() == PlayersInput::Move ? g_movePixels : 0; }

void StopWatchingForPlayer()
{
    if (!g_thread)
        return;
    SetEvent(g_stop);
    // A thread that does not end in time keeps its handles: closing them
    // under it would be worse than leaving them to the process's end.
    if (WaitForSingleObject(g_thread, kWatchThreadWaitMs) != WAIT_OBJECT_0)
        return;
    CloseWatchHandles();
}
