#include "shell/password.h"


#include "common/entry_lookup.h"
#include "common/handles.h"
#include "system/platform.h"

namespace {
// Everything the password lock remembers. Only this file writes it.
HMODULE g_provider;                     // the provider library, or null
PasswordVerifier g_verifier;            // non-null means the lock is on
int g_closeApproved;                    // once set, never cleared
int g_verifying;                        // guards re-entry while the prompt runs
DWORD g_lastVerifyTick = 0xFFFFFFFF;    // when the last prompt ended; all ones: never
DWORD(WINAPI* g_tickSource)() = GetTickCount;

// The system's password parts, found by name like any other library.
const char kProviderLibrary[] = "PASSWORD.CPL";
const char kVerifierEntry[] = "VerifyScreenSavePwd";
const char kChangeLibrary[] = "MPR.DLL";
const char kChangeEntry[] = "PwdChangePasswordA";
const char kChangeProviderName[] = "SCRSAVE";

// The network provider router's password change: provider name, owner window
// and two values that the saver always passes as 0.
using PasswordChanger = DWORD(WINAPI*)(LPCSTR provider, HWND owner, DWORD, DWORD);

// Whether the user turned the screen-saver password on. The value is read into
// a number cleared first, so shorter data counts as zero in the bytes it does
// not write; longer data makes the query fail, which leaves the lock off.
bool PasswordWanted(HKEY desktop)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(desktop, "ScreenSaveUsePassword", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS)
        return false;
    return value != 0;
}
}  // namespace

void LoadPasswordProvider()
{
    if (!IsWindows9x())
        return;
    if (g_provider)
        UnloadPasswordProvider();

    RegKey desktop;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", desktop.Receive()) != ERROR_SUCCESS)
        return;
    if (PasswordWanted(desktop.Get())) {
        g_provider = LoadLibraryA(kProviderLibrary);
        g_verifier = LookUpEntry<PasswordVerifier>(g_provider, kVerifierEntry);
        if (g_verifier)
            SetScreenSaverRunning(1);
        else
            UnloadPasswordProvider();  // no provider, or one without the prompt
    }
}

void UnloadPasswordProvider()
{
    if (!IsWindows9x() || !g_provider)
        return;
    FreeLibrary(g_provider);
    g_provider = nullptr;
    if (g_verifier) {
        g_verifier = nullptr;
        SetScreenSaverRunning(0);
    }
}

void ChangeSaverPassword(HWND owner)
{
    // Loaded afresh for each change and released again, entry or not. A
    // missing library or entry means nothing to show: the change is skipped.
    Library router(kChangeLibrary);
    if (PasswordChanger change = LookUpEntry<PasswordChanger>(router.Get(), kChangeEntry))
        change(kChangeProviderName, owner, 0, 0);  // the router's answer changes nothing here
}

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
