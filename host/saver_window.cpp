#include "host/saver_window.h"

// Not built yet: shows nothing and selects nothing.
int RunSaverWindow(HWND) { return -1; }
