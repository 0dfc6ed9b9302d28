// tests/unit/saver_state.h: the saver's process-wide state back at its start
// values, as a fresh process has it, for the tests that run the saver window's
// procedures in this process.
#pragma once
#include <windows.h>

#include "game/settings_file.h"
#include "shell/dismissal.h"
#include "shell/password.h"
#include "shell/saver_window.h"
#include "system/platform.h"

inline void ResetSaverStateForTest(int windows9x)
{
    ResetPasswordStateForTest();
    ResetDismissalForTest();
    ResetSaverWindowForTest();
    ResetGameSettingsForTest();
    SetStartupStateForTest(GetModuleHandleA(nullptr), windows9x);
}
