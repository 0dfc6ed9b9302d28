// setup/config_dialog.h: the configuration dialog, where the layout and the
// random and mute flags are chosen and written to the game's settings file.
#pragma once
#include <windows.h>

// Shows the modal dialog; returns its end code, or -1 when it cannot be made.
int RunConfigDialog(HWND owner);
