// shell/dismissal.h: the last procedure of the saver window's chain. It turns
// user input, loss of activation and power events into close requests, holds
// every WM_CLOSE until the password lock approves it, and keeps the cursor
// hidden. Everything else gets the system's default handling.
#pragma once
#include <windows.h>

#include "input/input_rule.h"

// What the procedure does with one message.
enum class DismissalStep {
    DefaultHandling,
    RequestCloseThenDefault,  // post WM_CLOSE, then default handling
    HideCursorThenDefault,
    HideCursorAnswerOne,      // WM_SETCURSOR: no default handling
    MouseTestThenDefault,     // close only when the cursor moved far enough
    VerifyClose,              // WM_CLOSE: ask the password lock first
    AnswerFromVerifier,       // the password check: run the provider's prompt
    CancelAutoPlay,           // post WM_CLOSE, answer whether a verifier is loaded
};

// The state the decision reads; flags count as set when nonzero.
struct DismissalState {
    int preview;
    int closeApproved;
    int verifying;
    int windows9x;
    UINT autoPlayMessage;  // the registered QueryCancelAutoPlay id, 0 when none
};

// Pure: the step for a message in a given state.
DismissalStep DecideDismissal(UINT message, WPARAM wParam, const DismissalState& state);

// The default saver procedure, called by the saver procedure with the same four values.
LRESULT CALLBACK DefSaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// What the closing rules know of the saver window, written by the saver window
// before it creates it: 1 for a preview child, and the registered
// QueryCancelAutoPlay id (0 when not registered, as on Windows NT).
void SetSaverWindowKind(int preview, UINT autoPlayMessage);
int IsPreviewMode();
UINT QueryCancelAutoPlayMessage();

// The point from which mouse movement is measured.
POINT CursorAnchor();
// Reads the cursor position into the anchor; a failed read leaves it alone.
void RecordCursorAnchor();

// For tests: every value back to its start (the anchor at (0, 0)), or the
// anchor anywhere.
void ResetDismissalForTest();
void SetCursorAnchorForTest(POINT anchor);
