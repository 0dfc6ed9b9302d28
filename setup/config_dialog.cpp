#include "setup/config_dialog.h"

// Not built yet: shows nothing and selects nothing.
int RunConfigDialog(HWND) { return -1; }
