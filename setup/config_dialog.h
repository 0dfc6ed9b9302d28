// setup/config_dialog.h: the configuration dialog, where the layout and the
// random and mute flags are chosen and written to the game's settings file.
#pragma once
#include <windows.h>

// Shows the modal dialog; returns its end code, or -1 when it cannot be made.
// End codes: 1 without a game installation, 0 on Cancel, and on OK the state
// of "Mute Sound" (1 checked, 0 not).
int RunConfigDialog(HWND owner);

// The dialog's procedure: set-up, OK and Cancel, the red owner-drawn buttons
// and the beige background.
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// How an owner-drawn button looks in a given item state.
struct ButtonLook {
    int faceId;           // bitmap resource: normal, pressed or disabled face
    COLORREF textColour;
    int textOffset;       // pixels the text moves down
};
ButtonLook ChooseButtonLook(UINT itemState);

// The dialog's background colour, also behind its label and check boxes.
constexpr COLORREF kSetupBackgroundColour = RGB(216, 196, 168);

// Releases whatever drawing objects a test left behind; for tests only.
void ResetConfigDialogForTest();
