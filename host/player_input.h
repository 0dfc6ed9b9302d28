// host/player_input.h: whether the player has come back while the game is the
// screen saver. What counts is what would have closed the saver's own window:
// a key, a mouse button, or the pointer moved more than kMouseThresholdPixels
// from where it was when the watch began (slow drift adds up). A window
// appearing under a still pointer, or a mouse that jitters on the desk, is
// not the player.
//
// The watch runs on a thread of its own that does nothing else, at a
// priority that the idle class the system runs savers in cannot starve. The
// system removes a low-level hook, silently, that answers late too often
// (Windows 7 and later): a hook serviced by a thread that may sit in a slow
// CreateProcessA, or wait behind busy programs, would be lost and the player
// with it. The watch also notices a loss: where the system saw input that
// the hooks did not, it sets them again. That unseen input does not count by
// itself (a window appearing may move the system's last-input time).
//
// Where the hooks are refused (NT 4.0 before its third service pack, a
// desktop that grants no hook rights), the watch looks in turn at the
// system's last-input time, the pointer and the keys and buttons instead.
// Windows 95/98 hand the screen to the game and keep no watch.
#pragma once
#include <windows.h>

// What the player did, as the watch saw it.
enum class PlayersInput { None, Key, Button, Move };

// Where the watch learns of input.
enum class WatchSource {
    None,     // no watch runs
    Hooks,    // the system's low-level keyboard and mouse hooks
    Polling,  // hooks refused: the last-input time, the pointer and the keys, read in turn
};

// Pure: what one hook event is. `message` names the event as the hooks do
// (WM_KEYDOWN, WM_MOUSEMOVE, ...); `pointer` is where the pointer is after
// it, measured against `anchor`.
PlayersInput ClassifyHookEvent(UINT message, POINT anchor, POINT pointer);

// Pure: what one look at the system shows. Nothing counts unless the system
// took input since the last look (`newInput`): a program may move the
// pointer, and a key may have been held since before the watch.
PlayersInput ClassifyPolledState(bool newInput, POINT anchor, POINT pointer, bool keyDown, bool buttonDown);

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

// Ends the watch; safe to call when none runs.
void StopWatchingForPlayer();
