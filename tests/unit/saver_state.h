// tests/unit/saver_state.h: the saver's process-wide state back at its start
// values, as a fresh process has it, for the tests that run the saver window's
// procedures in this process.
#pragma once
#include <windows.h>

#include "game/settings_file.h"
#include "host/dismissal.h"
#include "host/password.h"
#include "host/platform.h"
#include "host/saver_window.h"

inline void ResetSaverStateForTest(int windows9x)
{
    ResetPasswordStateForTest();
    ResetDismissalForTest();
    ResetSaverWindowForTest();
    ResetGameSettingsForTest();
    SetStartupStateForTest(GetModuleHandleA(nullptr), windows9x);
}
