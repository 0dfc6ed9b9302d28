#include "host/password.h"

#include "host/startup.h"

// Only the screen-saver-running switch is in place so far; the lock itself
// and the password change follow.

void LoadPasswordProvider() {}
void UnloadPasswordProvider() {}

void SetScreenSaverRunning(int on)
{
    if (!IsWindows9x())
        return;
    UINT previous = 0;  // receives the old state, which nobody reads
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, static_cast<UINT>(on), &previous, 0);
}

int VerifyPasswordToClose(HWND) { return 1; }
void ChangeSaverPassword(HWND) {}

PasswordVerifier CurrentPasswordVerifier() { return nullptr; }
int IsCloseApproved() { return 0; }
int IsVerifyingPassword() { return 0; }
