// input/input_rule.h: what counts as the player's hand, in one place for the
// saver window (shell/) and the watch over the game's run (run/): which
// messages are input, and how far the pointer must move to be.
#pragma once
#include <windows.h>

// Pointer movement up to this Manhattan distance, in pixels, is not input.
constexpr DWORD kMouseThresholdPixels = 4;

// What one message is as the player's input.
enum class HandInput { None, Key, Button, Move };

// Who asks. The saver window keeps the rule every screen saver's window has
// had, which knows the left, right and middle buttons; the watch, which hears
// the hand through low-level hooks while the game has the screen, counts the
// side buttons too: a player who presses one is back like any other.
enum class InputListener { SaverWindow, Watch };

// Pure: a key or button press, a pointer move (the caller measures how far),
// or nothing the player's hand did.
HandInput HandInputOf(UINT message, InputListener listener);

// Pure: how far the cursor is from the anchor, in pixels: the Manhattan
// distance, which no coordinates can make overflow.
DWORD PointerDistance(POINT anchor, POINT cursor);

// Pure: whether the cursor has moved strictly more than the threshold from the anchor.
bool MovedBeyondThreshold(POINT anchor, POINT cursor);
