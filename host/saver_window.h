// host/saver_window.h: the saver window, full screen or as a preview child,
// and its message loop.
#pragma once
#include <windows.h>

// Full screen without a parent, a preview inside the parent otherwise.
// Returns the code of the WM_QUIT that ended the loop.
int RunSaverWindow(HWND parent);
