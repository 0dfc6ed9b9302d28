// shell/password.h: the Windows 95/98 screen-saver password. The saver loads the
// system's password provider when the password is on, lets the saver window
// close only after the provider's prompt approves, and runs the system's
// password change for the "a" mode. Everything here is inert on Windows NT.
#pragma once
#include <windows.h>

// The provider's verification entry: nonzero when the right password was entered.
using PasswordVerifier = BOOL(WINAPI*)(HWND owner);

// The private message by which the verification asks the saver window's
// procedure chain to run the provider's prompt.
constexpr UINT kPasswordCheckMessage = WM_APP;

// Closes asked for sooner than this after the last prompt ended are refused.
constexpr DWORD kMinVerifyIntervalMs = 200;

void LoadPasswordProvider();    // before the full-screen window is made
void UnloadPasswordProvider();  // after the message loop; harmless when nothing is loaded
void SetScreenSaverRunning(int on);

// Nonzero when the window may close; runs the provider's prompt through
// kPasswordCheckMessage, sent to the window.
int VerifyPasswordToClose(HWND window);

// Runs the system's dialog for changing the screen-saver password.
void ChangeSaverPassword(HWND owner);

// How the rest of the saver reads the lock's state.
PasswordVerifier CurrentPasswordVerifier();  // null when the lock is off
int IsCloseApproved();
int IsVerifyingPassword();

// Pure: true when a close at `now` comes too soon after the prompt that ended
// at lastVerifyTick (0xFFFFFFFF: never) and is refused without a prompt.
bool RefusedWithoutPrompt(DWORD lastVerifyTick, DWORD now);

// For tests: restore every start value (unloading nothing), put a verifier in
// place without a library, and replace GetTickCount.
void ResetPasswordStateForTest();
void SetPasswordVerifierForTest(PasswordVerifier verifier);
void SetTickSourceForTest(DWORD(WINAPI* tickSource)());
