// run/player_input.h: the watch for the player while the game is the screen
// saver, on a thread of its own that does nothing but wait for input, so that
// the system never removes its low-level hooks for answering late; what it
// has to say waits for the thread that owns the run (SayPlayerWatchNews).
// What counts is input/input_rule.h's rule; how a hook event's move is
// measured is PointerTrail's (below); where the hooks are refused, the watch
// polls (ClassifyPolledLook). Why each is as it is: docs/DESIGN.md, "The
// game's run on the NT family".
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

// How far the player's hand has moved the pointer, followed event by event.
// A low-level mouse hook runs before the system moves the pointer, so within
// it the pointer is still where it was: each event's own move is from there
// to where the event puts it. The moves add up from the watch's start,
// whatever a program (or the system: a clamp, a change of display mode) does
// to the pointer between events and however often: a game that puts the
// pointer back in the middle every frame cannot hide a steady move, a
// jitter there and back cancels out, and one event beyond the threshold
// counts at once. A pointer held in place (a clip to one point, a push into
// the screen's edge) moves nothing, and so does an event that finds the
// pointer already where it puts it (Wine's echo of a program's move, a
// window appearing under the pointer).
//
// Under Wine (`underWine`) two allowances stand, and only there:
// - a real mouse reaches Wine from the X server, and until its first move
//   over one of Wine's windows Wine's idea of the pointer can be stale (the
//   middle of the screen, or an old place): the first event from there (not
//   injected) tells where the pointer really is, and moves nothing;
// - under load Wine can call the hooks for an injected event before it has
//   moved the pointer for the one before: an injected event that finds the
//   pointer where the one before found it, within kHookLagMs of it, moves
//   from where that one put it.
// Pure.
class PointerTrail {
public:
    PointerTrail(POINT start, bool underWine);
    // One event: where the pointer was as it came, where it puts it, whether
    // a program injected it, and its time (the hook's, in ms). Returns how
    // far the hand has taken the pointer in all: the Manhattan length of the
    // moves' sum.
    DWORD Follow(POINT before, POINT at, bool injected, DWORD time);
    // Where the last event put the pointer, or the start.
    POINT LastPlace() const { return lastAt_; }

private:
    static constexpr DWORD kHookLagMs = 50;

    bool underWine_;
    LONGLONG handX_ = 0;  // the sum of the hand's moves
    LONGLONG handY_ = 0;
    POINT lastAt_;        // where the last event put the pointer, or the start
    POINT lastBefore_;    // where the last event found it
    DWORD lastTime_ = 0;
    bool followedAnEvent_ = false;
    bool heardTheXSide_ = false;
};

// Pure: what one hook event is. `message` names the event as the hooks do
// (WM_KEYDOWN, WM_MOUSEMOVE, ...); `movePixels` is, for a move, its distance
// from the anchor.
PlayersInput ClassifyHookEvent(UINT message, DWORD movePixels);

// What one look at the system shows, where the hooks were refused.
struct PolledLook {
    bool knowsInputTime;  // the system gives its last-input time (Windows 2000 on)
    bool newInput;        // ... and it moved since the last look
    bool pointerInput;    // the pointer's record (or the pointer) moved since the last look
    bool keyPressed;      // a key or a button went down, where the keys' state is read
    bool inputDuringLook; // the last-input time moved while the look was taken
    POINT anchor;         // where moves are measured from
    POINT pointer;
};

// Pure: what one look is. A key or a button read from the keys' state is the
// player. Where the system gives its last-input time, nothing else counts
// unless it moved (a program may move the pointer), and input that moved no
// pointer was a key or a button. Where it gives none (NT 4.0), only a move
// beyond the threshold is the player, never a still pointer. A look that
// input came in the middle of may have read the time after it and the
// pointer before it: it says nothing, and the next look compares with the
// one before it.
PlayersInput ClassifyPolledLook(const PolledLook& look);

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
