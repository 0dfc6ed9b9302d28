#include "shell/dismissal.h"

#include "shell/password.h"
#include "system/platform.h"

namespace {
// What the closing rules remember.
// Where mouse movement is measured from. Written at window creation, by the
// mouse test when it asks to close, and when the password lock refuses.
POINT g_cursorAnchor;
// Written by the saver window through SetSaverWindowKind before it creates the window.
int g_preview;           // 1: the window is a preview child
UINT g_autoPlayMessage;  // QueryCancelAutoPlay id, 0 when not registered

// Posted, not sent: the WM_CLOSE must travel the whole chain again before
// anyone decides whether the saver may close.
void RequestClose(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

DismissalStep DecideInput(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_SHOWWINDOW:
        return wParam ? DismissalStep::HideCursorThenDefault : DismissalStep::DefaultHandling;
    case WM_ACTIVATEAPP:
        return wParam ? DismissalStep::DefaultHandling : DismissalStep::RequestCloseThenDefault;
    case WM_SETCURSOR:
        return DismissalStep::HideCursorAnswerOne;
    case WM_POWER:
        return wParam == PWR_CRITICALRESUME ? DismissalStep::RequestCloseThenDefault
                                            : DismissalStep::DefaultHandling;
    case WM_POWERBROADCAST:
        return DismissalStep::RequestCloseThenDefault;
    }
    switch (HandInputOf(message, InputListener::SaverWindow)) {
    case HandInput::Key:
    case HandInput::Button:
        return DismissalStep::RequestCloseThenDefault;
    case HandInput::Move:
        return DismissalStep::MouseTestThenDefault;
    case HandInput::None:
        break;
    }
    return DismissalStep::DefaultHandling;
}
}  // namespace

DismissalStep DecideDismissal(UINT message, WPARAM wParam, const DismissalState& state)
{
    if (!state.preview && !state.closeApproved) {
        if (message == WM_CLOSE && state.windows9x)
            return DismissalStep::VerifyClose;
        // Comes before the in-progress test: the check is sent exactly while
        // a verification runs.
        if (message == kPasswordCheckMessage && state.windows9x)
            return DismissalStep::AnswerFromVerifier;
        if (!state.verifying) {
            const DismissalStep step = DecideInput(message, wParam);
            if (step != DismissalStep::DefaultHandling)
                return step;
        }
    }
    // Registered ids lie above 0xC000, so nothing above takes this one, and
    // the shell's question is answered whatever the flags say.
    if (state.autoPlayMessage != 0 && message == state.autoPlayMessage)
        return DismissalStep::CancelAutoPlay;
    return DismissalStep::DefaultHandling;
}

LRESULT CALLBACK DefSaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const DismissalState state = {IsPreviewMode(), IsCloseApproved(), IsVerifyingPassword(),
                                  IsWindows9x(), QueryCancelAutoPlayMessage()};
    switch (DecideDismissal(message, wParam, state)) {
    case DismissalStep::DefaultHandling:
        break;
    case DismissalStep::RequestCloseThenDefault:
        RequestClose(window);
        break;
    case DismissalStep::HideCursorThenDefault:
        SetCursor(nullptr);
        break;
    case DismissalStep::HideCursorAnswerOne:
        SetCursor(nullptr);
        return 1;
    case DismissalStep::MouseTestThenDefault: {
        // The position at the moment of handling, not the one lParam carries;
        // a failed read counts as no movement.
        POINT cursor;
        if (GetCursorPos(&cursor) && MovedBeyondThreshold(g_cursorAnchor, cursor)) {
            RequestClose(window);
            g_cursorAnchor = cursor;
        }
        break;
    }
    case DismissalStep::VerifyClose:
        if (!VerifyPasswordToClose(window)) {
            // Refused: the saver stays, and movement is measured afresh from here.
            RecordCursorAnchor();
            return 0;
        }
        break;
    case DismissalStep::AnswerFromVerifier: {
        const PasswordVerifier verifier = CurrentPasswordVerifier();
        return verifier ? verifier(window) : 1;
    }
    case DismissalStep::CancelAutoPlay:
        RequestClose(window);
        return CurrentPasswordVerifier() ? 1 : 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void SetSaverWindowKind(int preview, UINT autoPlayMessage)
{
    g_preview = preview;
    g_autoPlayMessage = autoPlayMessage;
}

int IsPreviewMode() { return g_preview; }
UINT QueryCancelAutoPlayMessage() { return g_autoPlayMessage; }

POINT CursorAnchor() { return g_cursorAnchor; }

void RecordCursorAnchor()
{
    POINT cursor;
    if (GetCursorPos(&cursor))
        g_cursorAnchor = cursor;
}

void ResetDismissalForTest()
{
    g_cursorAnchor = POINT{0, 0};
    SetSaverWindowKind(0, 0);
}
void SetCursorAnchorForTest(POINT anchor) { g_cursorAnchor = anchor; }
