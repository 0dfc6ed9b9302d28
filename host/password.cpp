#include "host/password.h"

#include "host/startup.h"

namespace {
// Everything the password lock remembers. Only this file writes it.
HMODULE g_provider;                     // the provider library, or null
PasswordVerifier g_verifier;            // non-null means the lock is on
int g_closeApproved;                    // once set, never cleared
int g_verifying;                        // guards re-entry while the prompt runs
DWORD g_lastVerifyTick = 0xFFFFFFFF;    // when the last prompt ended; all ones: never
DWORD(WINAPI* g_tickSource)() = GetTickCount;
}  // namespace

// The provider's loading and the password change are not built yet.
void LoadPasswordProvider() {}
void UnloadPasswordProvider() {}
void ChangeSaverPassword(HWND) {}

void SetScreenSaverRunning(int on)
{
    if (!IsWindows9x())
        return;
    UINT previous = 0;  // receives the old state, which nobody reads
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, static_cast<UINT>(on), &previous, 0);
}

bool RefusedWithoutPrompt(DWORD lastVerifyTick, DWORD now)
{
    // Unsigned subtraction stays right when the tick count wraps (every 49.7 days).
    return lastVerifyTick != 0xFFFFFFFF && now - lastVerifyTick < kMinVerifyIntervalMs;
}

int VerifyPasswordToClose(HWND window)
{
    // A WM_CLOSE dispatched while an earlier prompt is still open.
    if (g_verifying)
        return 0;
    if (!g_verifier) {
        g_closeApproved = 1;
        return 1;
    }
    if (RefusedWithoutPrompt(g_lastVerifyTick, g_tickSource()))
        return 0;

    g_verifying = 1;
    // Timers queued while the saver ran would fire inside the prompt's loop.
    MSG scratch;
    PeekMessageA(&scratch, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    PeekMessageA(&scratch, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    // Sent through the window's own procedures, which run the prompt; the
    // saver's procedures are re-entered while it is open.
    const LRESULT verdict = SendMessageA(window, kPasswordCheckMessage, 0, 0);
    g_closeApproved = static_cast<int>(verdict);
    g_verifying = 0;
    if (!verdict)
        SetCursor(nullptr);  // the prompt showed it
    g_lastVerifyTick = g_tickSource();
    return g_closeApproved;
}

PasswordVerifier CurrentPasswordVerifier() { return g_verifier; }
int IsCloseApproved() { return g_closeApproved; }
int IsVerifyingPassword() { return g_verifying; }

void ResetPasswordStateForTest()
{
    g_provider = nullptr;
    g_verifier = nullptr;
    g_closeApproved = 0;
    g_verifying = 0;
    g_lastVerifyTick = 0xFFFFFFFF;
    g_tickSource = GetTickCount;
}

void SetPasswordVerifierForTest(PasswordVerifier verifier) { g_verifier = verifier; }
void SetTickSourceForTest(DWORD(WINAPI* tickSource)()) { g_tickSource = tickSource; }
