// host/player_input.h: whether the player has come back while the game is the
// screen saver. What counts is what would have closed the saver's own window:
// a key, a mouse button, or the pointer moved more than kMouseThresholdPixels
// (slow drift adds up, and one jump counts). Moves are measured from where
// the pointer was when the watch began, or from where a program (or the
// system) last put it, whichever is later: a game that centres the pointer,
// or a change of display mode that clamps it, is not the player, and a later
// jitter is measured from there. A window appearing under a still pointer, or
// a mouse that jitters on the desk, is not the player either.
//
// The watch runs on a thread of its own that does nothing but wait for input,
// at a priority that the idle class the system runs savers in cannot starve.
// The system removes a low-level hook, silently, that answers late too often
// (Windows 7 and later): a hook serviced by a thread that may sit in a slow
// CreateProcessA, wait behind busy programs or wait for a debug-output
// listener would be lost and the player with it. So the watch never says
// anything itself: what it has to say waits for the thread that owns the run
// (PlayerWatchNewsEvent, SayPlayerWatchNews). It notices a loss too: where
// the system saw input that the hooks did not, it sets them again. That
// unseen input does not count by itself (a window appearing may move the
// system's last-input time).
//
// The hooks report physical pixels; on a scaled display a program unaware
// of the scale reads the pointer in other units. The watch thread therefore
// takes the system's physical coordinates itself where the system has a way.
//
// Where the hooks are refused (NT 4.0 before its third service pack, a
// desktop that grants no hook rights), keys and buttons cannot be read either:
// the watch looks at the system's last-input time and the pointer instead,
// and input that moved no pointer is a key or a button.
// Windows 95/98 hand the screen to the game and keep no watch.
#pragma once
#include <windows.h>

// What the player did, as the watch saw it.
enum class PlayersInput {
    None,
    Key,
    Button,
    KeyOrButton,  // input that moved no pointer, where the hooks were refused
    Move,
};

// Where the watch learns of input.
enum class WatchSource {
    None,     // no watch runs
    Hooks,    // the system's low-level keyboard and mouse hooks
    Polling,  // hooks refused: the last-input time and the pointer, read in turn
};

// Where moves are measured from, followed event by event. A low-level mouse
// hook runs before the system moves the pointer, so within it the pointer is
// where it was before the event. Where that is not where the last event put
// it, nor any of the few places just before (the system may lag behind its
// hooks), a program or the system moved it, and the anchor moves with it.
// Pure.
class PointerTrail {
public:
    explicit PointerTrail(POINT start);
    // One event: where the pointer was as it came, and where it puts it.
    // Returns the event's distance from the anchor.
    DWORD Follow(POINT before, POINT at);
    POINT Anchor() const { return anchor_; }

private:
    static constexpr int kRecentPlaces = 8;
    bool IsRecent(POINT place) const;

    POINT anchor_;
    POINT recent_[kRecentPlaces];  // where events put the pointer, the last at next_ - 1
    int count_ = 0;
    int next_ = 0;
};

// Pure: what one hook event is. `message` names the event as the hooks do
// (WM_KEYDOWN, WM_MOUSEMOVE, ...); `movePixels` is, for a move, its distance
// from the anchor.
PlayersInput ClassifyHookEvent(UINT message, DWORD movePixels);

// Pure: what one look at the system shows. Nothing counts unless the system
// took input since the last look (`newInput`): a program may move the
// pointer. Input that did not move the pointer (`pointerInput` false) was a
// key or a button; a move counts by its distance from the anchor.
PlayersInput ClassifyPolledLook(bool newInput, bool pointerInput, POINT anchor, POINT pointer);

// Pure: whether the system took input after the hooks last saw an event
// (both as GetTickCount ticks; a wrap of the count changes nothing).
bool InputWentUnseen(DWORD systemLastInputTick, DWORD lastHookEventTick);

// Begins the watch and returns its source once it is set up, before any
// game is started. None where no thread could be made for it.
WatchSource WatchForPlayer();

// Signalled once the player has come; null while no watch runs.
HANDLE PlayerCameEvent();

// What the player did, once PlayerCameEvent is signalled (None before), and
// for a move how far from the anchor, in pixels.
PlayersInput PlayersInputSeen();
DWORD PlayersMovePixels();

// Signalled when the watch has something to say; null while no watch runs.
HANDLE PlayerWatchNewsEvent();
// Says what the watch has to say since the last call, on the calling thread.
void SayPlayerWatchNews();

// Ends the watch and says what it had left to say; safe to call when none runs.
void StopWatchingForPlayer();
