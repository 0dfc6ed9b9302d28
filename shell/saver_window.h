// shell/saver_window.h: the saver window, full screen or as a preview child,
// and its message loop.
#pragma once
#include <windows.h>

// Full screen without a parent, a preview inside the parent otherwise.
// Returns the code of the WM_QUIT that ended the loop, or 0 when the window
// was not made (the full-screen saver refuses it once the game has started,
// and on the NT family returns once the game's run is over: run/game_run.h).
int RunSaverWindow(HWND parent);

// The class's window procedure, first to see every message of the saver window.
LRESULT CALLBACK OuterWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The saver's own behaviour, which the outer procedure hands every message on
// to with the same four values. The shell declares it and the game part
// (game/saver_proc.cpp) defines it; it passes on to DefSaverWindowProc.
LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// What the outer procedure does with one message.
enum class OuterStep {
    PassOn,
    CreateThenPassOn,      // detach the input context, record the anchor, hide the cursor
    DestroyThenPassOn,     // restore the input context, post the quit
    HideCursorThenPassOn,  // full-screen paint
    YieldThenPassOn,       // timer: give up the time slice first
    DefaultHandling,       // after approval: DefWindowProcA only
    ForwardToParent,       // preview help: to the control panel, answer 1
    AnswerZero,
};

// Pure: the step for a message, given the preview and close-approved flags.
OuterStep DecideOuterStep(UINT message, WPARAM wParam, int preview, int closeApproved);

// For tests: every value back to its start, including the preview flag and
// the QueryCancelAutoPlay id the window hands to the closing rules.
void ResetSaverWindowForTest();
