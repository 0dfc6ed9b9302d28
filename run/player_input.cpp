#include "run/player_input.h"

#include "common/entry_lookup.h"
#include "input/input_rule.h"
#include "system/decision_trace.h"
#include "system/dpi_awareness.h"
#include "system/platform.h"

namespace {
// Looked up at run time: GetLastInputInfo and GetMouseMovePointsEx came with
// Windows 2000, GetPhysicalCursorPos with Vista.
using GetLastInputInfoFn = BOOL(WINAPI*)(LASTINPUTINFO*);
using GetPhysicalCursorPosFn = BOOL(WINAPI*)(POINT*);
using GetMouseMovePointsExFn = int(WINAPI*)(UINT, MOUSEMOVEPOINT*, MOUSEMOVEPOINT*, int, DWORD);
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
// thread, inside its message handling). Other threads read the input seen
// only once g_came is set, which the watch thread does after writing it, and
// what the thread set up only once g_ready is set. The news counters are
// written by the watch thread alone, read by the thread that says them.
HANDLE g_thread;               // the watch thread, or null when no watch runs
HDESK g_desktop;               // the desktop of the thread that began the watch, or null
HANDLE g_ready;                // set once the thread has chosen its source
HANDLE g_stop;                 // set to end the watch
HANDLE g_came;                 // set once the player has come
HANDLE g_news;                 // set when the watch has something to say
WatchSource g_source;          // where the watch learns of input
const char* g_pixels;          // in which pixels the watch reads the pointer, in words
bool g_pixelsAgree;            // ... and whether those are the hooks' pixels
DWORD g_desktopRefusal;        // why the thread could not move to the saver's desktop, else 0
DWORD g_hooksRefusal;          // the error that refused the hooks, else 0
HHOOK g_keyboardHook;          // null when none is set
HHOOK g_mouseHook;             // null when none is set
bool g_underWine;              // the system is Wine, whose idea of the pointer can be stale
PointerTrail g_trail({0, 0}, false);  // how far the hand has moved the pointer
bool g_trailBegun;             // false until a place of the pointer is known
POINT g_pollAnchor;            // polling: where moves are measured from
DWORD g_lastHookEventTick;     // when the hooks last saw an event
DWORD g_lastSystemInputTick;   // the system's last-input time at the last look
POINT g_lastLookPointer;       // the pointer at the last look
bool g_knowsInputTime;         // polling: the system gives its last-input time
bool g_pollKeys;               // polling: keys are read with GetAsyncKeyState
bool g_recordRead;             // polling: the last look read the pointer's record
MOUSEMOVEPOINT g_lastNewestPoint;  // ... and this was its newest point
// The system's entries the watch reads, looked up before its thread starts:
// a lookup can wait on the loader's lock, which a hook must never do.
GetPhysicalCursorPosFn g_physicalCursorPos;  // null before Vista
GetLastInputInfoFn g_lastInputInfo;          // null before Windows 2000
GetMouseMovePointsExFn g_mouseMovePoints;    // null before Windows 2000
PlayersInput g_input;          // what the player did; None until the player comes
DWORD g_movePixels;            // for a move, how far from the anchor
volatile LONG g_timesSetAgain; // hooks set again after a loss
volatile LONG g_lossRefusal;   // why setting them again failed (the watch polls since), else 0

// The thread that says the news: how much of it has been said.
LONG g_timesSetAgainSaid;
bool g_lossRefusalSaid;

HMODULE User() { return GetModuleHandleA("USER32.DLL"); }

// Wine's system library names its version; Windows' has no such entry.
bool IsWine() { return LookUpEntry<FARPROC>(GetModuleHandleA("NTDLL.DLL"), "wine_get_version") != nullptr; }

// Where the pointer is, in the coordinates the hooks report.
bool ReadPointer(POINT* pointer)
{
    return (g_physicalCursorPos ? g_physicalCursorPos(pointer) : GetCursorPos(pointer)) != FALSE;
}

bool ReadLastInputTick(DWORD* tick)
{
    LASTINPUTINFO info = {};
    info.cbSize = sizeof info;
    if (!g_lastInputInfo || !g_lastInputInfo(&info))
        return false;
    *tick = info.dwTime;
    return true;
}

void TellNews()
{
    if (g_news)
        SetEvent(g_news);
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
        // Injected keys count: a remote-control tool's are a person's.
        NoteInput(ClassifyHookEvent(static_cast<UINT>(wParam), 0), 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        g_lastHookEventTick = GetTickCount();
        const MSLLHOOKSTRUCT* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        POINT before;
        if (!g_trailBegun) {
            // The pointer could not be read when the watch began: this is
            // the first place known, and never the player by itself.
            g_trail = PointerTrail(event->pt, g_underWine);
            g_trailBegun = true;
        }
        // Not moved yet: the system moves it once every hook has answered.
        if (!g_pixelsAgree || !ReadPointer(&before))
            before = g_trail.LastPlace();
        // Injected moves count, as injected keys do.
        const DWORD pixels = g_trail.Follow(before, event->pt, (event->flags & LLMHF_INJECTED) != 0, event->time);
        NoteInput(ClassifyHookEvent(static_cast<UINT>(wParam), pixels), pixels);
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

// The newest point of the system's record of the pointer's path, as a look
// finds it; false where the record cannot be read.
bool ReadNewestRecordedPoint(POINT pointer, MOUSEMOVEPOINT* newest)
{
    MOUSEMOVEPOINT last = {};
    last.x = pointer.x & 0xFFFF;  // the record keeps 16 bits of each coordinate
    last.y = pointer.y & 0xFFFF;
    return g_mouseMovePoints && g_mouseMovePoints(sizeof last, &last, newest, 1, GMMP_USE_DISPLAY_POINTS) > 0;
}

// Whether a key or a mouse button is down, or went down since the last look,
// as GetAsyncKeyState tells where no hook can.
bool AnyKeyPressed()
{
    bool pressed = false;
    for (int key = 1; key < 255; ++key) {
        if (GetAsyncKeyState(key) & 0x8001)
            pressed = true;  // every key is asked, so that each one's "since" starts afresh
    }
    return pressed;
}

// `refusal`: the error that refused the hooks.
void BeginPolling(DWORD refusal)
{
    g_source = WatchSource::Polling;
    // Refused for want of rights, the hooks' keys are out of reach too; where
    // the system has no such hooks at all (NT 4.0 before its third service
    // pack), it still answers for the keys.
    g_pollKeys = refusal != ERROR_ACCESS_DENIED;
    if (g_pollKeys)
        AnyKeyPressed();  // what was down before the watch does not count
    g_knowsInputTime = ReadLastInputTick(&g_lastSystemInputTick);
    if (!ReadPointer(&g_lastLookPointer))
        g_lastLookPointer = g_pollAnchor;
    g_recordRead = ReadNewestRecordedPoint(g_lastLookPointer, &g_lastNewestPoint);
}

void Poll()
{
    // The input time is read before the pointer and its record and again
    // after them: only when it stayed do all three tell of the same input.
    DWORD tick = 0;
    const bool tickRead = g_knowsInputTime && ReadLastInputTick(&tick);
    POINT pointer;
    if (!ReadPointer(&pointer))
        return;
    if (!g_trailBegun) {
        g_pollAnchor = pointer;
        g_trailBegun = true;
    }
    PolledLook look = {};
    look.knowsInputTime = g_knowsInputTime;
    look.newInput = tickRead && tick != g_lastSystemInputTick;
    // Record against record: whether the system's record of the pointer
    // has a newer point than at the last look. Where it cannot be read,
    // whether the pointer moved since then.
    MOUSEMOVEPOINT newest = {};
    const bool recordRead = ReadNewestRecordedPoint(pointer, &newest);
    if (recordRead && g_recordRead)
        look.pointerInput = newest.time != g_lastNewestPoint.time || newest.x != g_lastNewestPoint.x ||
                            newest.y != g_lastNewestPoint.y;
    else
        look.pointerInput = PointerDistance(g_lastLookPointer, pointer) != 0;
    DWORD tickAfter = 0;
    look.inputDuringLook = tickRead && ReadLastInputTick(&tickAfter) && tickAfter != tick;
    look.keyPressed = g_pollKeys && AnyKeyPressed();
    look.anchor = g_pollAnchor;
    look.pointer = pointer;
    const PlayersInput input = ClassifyPolledLook(look);
    if (look.inputDuringLook) {
        NoteInput(input, 0);  // a key from the keys' state; the rest waits for the next look
        return;
    }
    if (tickRead)
        g_lastSystemInputTick = tick;
    if (recordRead)
        g_lastNewestPoint = newest;
    g_recordRead = recordRead;
    if (input != PlayersInput::None)
        NoteInput(input, input == PlayersInput::Move ? PointerDistance(look.anchor, pointer) : 0);
    else if (g_knowsInputTime && !look.newInput)
        g_pollAnchor = pointer;  // moved by a program, not by a hand
    g_lastLookPointer = pointer;
}

void CheckForLoss()
{
    DWORD tick = 0;
    if (!ReadLastInputTick(&tick) || !InputWentUnseen(tick, g_lastHookEventTick))
        return;
    g_lastHookEventTick = tick;  // that input is past, and does not count
    if (SetHooks()) {
        InterlockedIncrement(&g_timesSetAgain);
    } else {
        const DWORD code = GetLastError();
        BeginPolling(code ? code : ERROR_ACCESS_DENIED);
        InterlockedExchange(&g_lossRefusal, static_cast<LONG>(code ? code : ERROR_ACCESS_DENIED));
    }
    TellNews();
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
        g_desktopRefusal = GetLastError();
    TakePhysicalPixels(nullptr);
    // The hooks report to this thread's message queue: make it now.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    g_lastHookEventTick = GetTickCount();
    g_source = WatchSource::Hooks;
    if (!SetHooks()) {
        g_hooksRefusal = GetLastError();
        BeginPolling(g_hooksRefusal);
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

const char* PollingLine()
{
    if (!g_knowsInputTime) {
        return g_pollKeys ? "watching the pointer and the keys' state; only a move beyond the threshold, a key or a "
                            "button is the player"
                          : "watching the pointer; only a move beyond the threshold is the player";
    }
    return g_pollKeys ? "watching the system's last-input time, the pointer and the keys' state; input that moves "
                        "no pointer is a key or a button"
                      : "watching the system's last-input time and the pointer; input that moves no pointer is a "
                        "key or a button";
}

// Said by the thread that began the watch, once the watch thread is ready.
void TraceSource()
{
    if (g_desktopRefusal)
        TraceFailure("moving the input watch to the saver's desktop", g_desktopRefusal);
    if (g_source == WatchSource::Hooks) {
        TraceDecision({"input watch: low-level hooks on a thread of their own; injected input counts as the "
                       "player's"});
        if (g_underWine)
            TraceDecision({"input watch: under Wine, the first move from the X side is taken as where the "
                           "pointer is, not as the player's"});
    } else {
        TraceDecision({"input watch: hooks refused (error ", DecimalText(g_hooksRefusal).Text(), "), ",
                       PollingLine()});
    }
    TraceDecision({"input watch reads the pointer in ", g_pixels});
}

void CloseWatchHandles()
{
    for (HANDLE* handle : {&g_thread, &g_ready, &g_stop, &g_came, &g_news}) {
        if (*handle)
            CloseHandle(*handle);
        *handle = nullptr;
    }
}
}  // namespace

PointerTrail::PointerTrail(POINT start, bool underWine) : underWine_(underWine), lastAt_(start), lastBefore_(start) {}

DWORD PointerTrail::Follow(POINT before, POINT at, bool injected, DWORD time)
{
    const auto samePlace = [](POINT a, POINT b) { return a.x == b.x && a.y == b.y; };
    // Where this event's move begins: where the pointer was as it came.
    POINT from = before;
    if (underWine_ && !injected && !heardTheXSide_) {
        from = at;  // the first word from the X side of where the pointer is
        heardTheXSide_ = true;
    } else if (underWine_ && injected && followedAnEvent_ && samePlace(before, lastBefore_) &&
               !samePlace(before, lastAt_) && time - lastTime_ < kHookLagMs) {
        from = lastAt_;  // Wine has not moved the pointer for the last event yet
    }
    lastAt_ = at;
    lastBefore_ = before;
    lastTime_ = time;
    followedAnEvent_ = true;
    handX_ += static_cast<LONGLONG>(at.x) - from.x;
    handY_ += static_cast<LONGLONG>(at.y) - from.y;
    const ULONGLONG length = static_cast<ULONGLONG>(handX_ < 0 ? -handX_ : handX_) +
                             static_cast<ULONGLONG>(handY_ < 0 ? -handY_ : handY_);
    return length > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(length);
}

PlayersInput ClassifyHookEvent(UINT message, DWORD movePixels)
{
    switch (HandInputOf(message, InputListener::Watch)) {
    case HandInput::Key:
        return PlayersInput::Key;
    case HandInput::Button:
        return PlayersInput::Button;
    case HandInput::Move:
        return movePixels > kMouseThresholdPixels ? PlayersInput::Move : PlayersInput::None;
    case HandInput::None:
        break;
    }
    return PlayersInput::None;
}

PlayersInput ClassifyPolledLook(const PolledLook& look)
{
    if (look.keyPressed)
        return PlayersInput::KeyOrButton;
    if (look.inputDuringLook || (look.knowsInputTime && !look.newInput))
        return PlayersInput::None;
    if (look.knowsInputTime && !look.pointerInput)
        return PlayersInput::KeyOrButton;
    return MovedBeyondThreshold(look.anchor, look.pointer) ? PlayersInput::Move : PlayersInput::None;
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
    g_desktopRefusal = 0;
    g_hooksRefusal = 0;
    g_input = PlayersInput::None;
    g_movePixels = 0;
    g_timesSetAgain = g_timesSetAgainSaid = 0;
    g_lossRefusal = 0;
    g_lossRefusalSaid = false;
    g_physicalCursorPos = LookUpEntry<GetPhysicalCursorPosFn>(User(), "GetPhysicalCursorPos");
    g_lastInputInfo = LookUpEntry<GetLastInputInfoFn>(User(), "GetLastInputInfo");
    g_mouseMovePoints = LookUpEntry<GetMouseMovePointsExFn>(User(), "GetMouseMovePointsEx");
    g_underWine = IsWine();
    // Where the pointer is as the watch begins, read here in the hooks'
    // pixels: a new thread's first look at the pointer can cost a round trip
    // to the display (under Wine) that the game's start need not wait for.
    HANDLE previousAwareness = nullptr;
    g_pixels = TakePhysicalPixels(&previousAwareness, &g_pixelsAgree);
    // In other pixels than the hooks', the pointer cannot say where an
    // event began: the trail begins at the first event, and each event is
    // measured from where the last one put the pointer.
    POINT start;
    g_trailBegun = g_pixelsAgree && ReadPointer(&start);
    if (g_trailBegun) {
        g_trail = PointerTrail(start, g_underWine);
        g_pollAnchor = start;
    }
    RestoreThreadDpiAwareness(previousAwareness);
    auto desktopOf = LookUpEntry<GetThreadDesktopFn>(User(), "GetThreadDesktop");
    g_desktop = desktopOf ? desktopOf(GetCurrentThreadId()) : nullptr;  // not to be closed
    g_ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_came = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_news = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD threadId = 0;
    if (g_ready && g_stop && g_came && g_news)
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
PlayersInput PlayersInputSeen()
{
    // Once the watch has ended, what it saw is final.
    if (!g_thread || (g_came && WaitForSingleObject(g_came, 0) == WAIT_OBJECT_0))
        return g_input;
    return PlayersInput::None;
}
DWORD PlayersMovePixels() { return PlayersInputSeen() == PlayersInput::Move ? g_movePixels : 0; }
HANDLE PlayerWatchNewsEvent() { return g_news; }

void SayPlayerWatchNews()
{
    for (; g_timesSetAgainSaid < g_timesSetAgain; ++g_timesSetAgainSaid)
        TraceDecision({"input watch set again: the system saw input the hooks did not"});
    const DWORD refusal = static_cast<DWORD>(g_lossRefusal);
    if (refusal && !g_lossRefusalSaid) {
        g_lossRefusalSaid = true;
        TraceFailure("setting the low-level hooks again", refusal);
        TraceDecision({"input watch: ", PollingLine()});
    }
}

void StopWatchingForPlayer()
{
    if (!g_thread)
        return;
    SetEvent(g_stop);
    // A thread that does not end in time keeps its handles: closing them
    // under it would be worse than leaving them to the process's end.
    if (WaitForSingleObject(g_thread, kWatchThreadWaitMs) != WAIT_OBJECT_0)
        return;
    SayPlayerWatchNews();
    CloseWatchHandles();
}
