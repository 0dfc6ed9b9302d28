// host/player_input.h: whether the player has come back while the game is the
// screen saver. What counts is what would have closed the saver's own window:
// a key, a mouse button, or the pointer moved more than kMouseThresholdPixels
// from its anchor (slow drift adds up). A window appearing under a still
// pointer, or a mouse that jitters on the desk, is not the player.
//
// The anchor is where the watch's first pointer event finds the pointer.
// The hooks report positions in the system's own screen coordinates, which
// on a scaled display are not what GetCursorPos tells a program unaware of
// the scaling, so both ends of every distance come from the hooks. That
// first event is never the player by itself; a player's hand gives many,
// and the next one a few pixels on counts.
//
// The system's low-level keyboard and mouse hooks report each input event to
// this thread while it handles its messages, so the saver sleeps until input
// comes, and the hooks are taken down at the first event that counts. Where
// the system has no such hooks (Windows 95/98, NT 4.0 before its third
// service pack), nothing counts and the game is left to end by itself.
#pragma once
#include <windows.h>

// Pure: whether one input event is the player's. `message` is the event as
// the hooks name it (WM_KEYDOWN, WM_MOUSEMOVE, ...); `pointer` is where the
// pointer is after it, measured against `anchor`.
bool IsPlayersInput(UINT message, POINT anchor, POINT pointer);

// Begins the watch. False where the system offers no hooks; nothing will
// count then.
bool WatchForPlayer();

// Whether an event that counts has arrived since the watch began. Events
// arrive only while the thread handles its messages (PeekMessageA).
bool PlayerHasCome();

// Ends the watch; safe to call when none runs.
void StopWatchingForPlayer();
