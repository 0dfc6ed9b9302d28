#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "shell/crash_guard.h"
#include "shell/password.h"
#include "tests/support/fake_install.h"
#include "tests/support/message_pump.h"
#include "tests/support/password_standins.h"

namespace {

// What the test window's procedure and the scripted verifier saw.
struct Seen {
    int checks = 0;                  // password-check messages
    WPARAM checkWParam = 99;
    LPARAM checkLParam = 99;
    std::vector<int> closeAnswers;  // VerifyPasswordToClose for each WM_CLOSE
    HWND verifiedFor = nullptr;
    int verifyingDuringPrompt = -1;
};
Seen g_seen;
std::function<BOOL(HWND)> g_prompt;  // what the scripted verifier does
DWORD g_now;                         // the tick count the lock reads

DWORD WINAPI FakeTickCount() { return g_now; }

BOOL WINAPI ScriptedVerifier(HWND window)
{
    g_seen.verifiedFor = window;
    g_seen.verifyingDuringPrompt = IsVerifyingPassword();
    return g_prompt ? g_prompt(window) : FALSE;
}

// Stands in for the saver's procedure chain: the check message runs the
// verifier that is loaded, a WM_CLOSE asks the lock.
LRESULT CALLBACK LockTestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case kPasswordCheckMessage: {
        ++g_seen.checks;
        g_seen.checkWParam = wParam;
        g_seen.checkLParam = lParam;
        PasswordVerifier verifier = CurrentPasswordVerifier();
        return verifier ? verifier(window) : 1;
    }
    case WM_CLOSE:
        g_seen.closeAnswers.push_back(VerifyPasswordToClose(window));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int RaisesSoftwareException(void*)
{
    RaiseException(0xE0004B58, 0, 0, nullptr);
    return 0;
}

class PasswordLock : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetStartupStateForTest(GetModuleHandleA(nullptr), 1);
        ResetPasswordStateForTest();
        g_seen = Seen();
        g_prompt = nullptr;
        g_now = 100000;
        SetTickSourceForTest(FakeTickCount);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = LockTestProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "PasswordLockTestWindow";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 50, 50, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(nullptr, window_);
    }
    void TearDown() override
    {
        UnloadPasswordProvider();
        DestroyWindow(window_);
        UnregisterClassA("PasswordLockTestWindow", GetModuleHandleA(nullptr));
        PumpPendingMessages();
        ResetPasswordStateForTest();
        SetScreenSaverRunningDirectly(false);
        SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
    }

    // A verifier that refuses, with a prompt that stays open until `endTick`.
    void RefuseWithPromptEndingAt(DWORD endTick)
    {
        SetPasswordVerifierForTest(ScriptedVerifier);
        g_prompt = [endTick](HWND) {
            g_now = endTick;
            return FALSE;
        };
    }

    HWND window_ = nullptr;
};

TEST_F(PasswordLock, WithoutAVerifierTheCloseIsApprovedWithoutAPrompt)
{
    EXPECT_EQ(1, VerifyPasswordToClose(window_));
    EXPECT_EQ(1, IsCloseApproved());
    EXPECT_EQ(0, g_seen.checks);
}

TEST_F(PasswordLock, TheVerifierDecidesThroughTheWindowsOwnProcedure)
{
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    for (BOOL verdict : {FALSE, TRUE, 7}) {
        SCOPED_TRACE(verdict);
        ResetPasswordStateForTest();
        SetTickSourceForTest(FakeTickCount);
        g_seen = Seen();
        SetPasswordVerifierForTest(ScriptedVerifier);
        g_prompt = [&](HWND) {
            SetCursor(arrow);  // a prompt shows the cursor
            return verdict;
        };
        EXPECT_EQ(verdict, VerifyPasswordToClose(window_));
        EXPECT_EQ(verdict, IsCloseApproved());
        EXPECT_EQ(1, g_seen.checks);
        EXPECT_EQ(0u, g_seen.checkWParam);
        EXPECT_EQ(0, g_seen.checkLParam);
        EXPECT_EQ(window_, g_seen.verifiedFor);
        EXPECT_EQ(1, g_seen.verifyingDuringPrompt);
        EXPECT_EQ(0, IsVerifyingPassword());
        // Hidden again only after a refusal: the saver goes on.
        EXPECT_EQ(verdict ? arrow : nullptr, GetCursor());
    }
}

TEST_F(PasswordLock, ClosesSoonAfterAPromptEndedAreRefusedWithoutOne)
{
    struct Case { DWORD promptEnded; DWORD later; bool prompts; } cases[] = {
        {50000, 149, false},
        {50000, 199, false},
        {50000, 200, true},
        {50000, 201, true},
        {0xFFFFFF9C, 150, false},  // the tick count wrapped past 0 meanwhile
        {0xFFFFFF9C, 250, true},
        {0xFFFFFFFF, 10, true},    // a prompt that ended at all ones counts as none
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.promptEnded << " + " << std::dec << c.later);
        ResetPasswordStateForTest();
        SetTickSourceForTest(FakeTickCount);
        g_seen = Seen();
        // The interval counts from the end of the prompt, not its start.
        g_now = c.promptEnded - 5000;
        RefuseWithPromptEndingAt(c.promptEnded);
        ASSERT_EQ(0, VerifyPasswordToClose(window_));
        ASSERT_EQ(1, g_seen.checks);

        g_now = c.promptEnded + c.later;
        EXPECT_EQ(0, VerifyPasswordToClose(window_));
        EXPECT_EQ(c.prompts ? 2 : 1, g_seen.checks);
    }
}

TEST_F(PasswordLock, ACloseDuringThePromptIsAnsweredZeroAtOnce)
{
    SetPasswordVerifierForTest(ScriptedVerifier);
    g_prompt = [](HWND window) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        PumpPendingMessages();  // as the prompt's own modal loop would
        return TRUE;
    };
    EXPECT_EQ(1, VerifyPasswordToClose(window_));
    EXPECT_EQ(std::vector<int>{0}, g_seen.closeAnswers);
    EXPECT_EQ(1, g_seen.checks);
}

TEST_F(PasswordLock, TwoPendingTimerMessagesAreDroppedBeforeThePrompt)
{
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    for (WPARAM id : {1, 2, 3})
        PostMessageA(window_, WM_TIMER, id, 0);
    PostMessageA(other, WM_TIMER, 9, 0);
    std::vector<WPARAM> left;
    SetPasswordVerifierForTest(ScriptedVerifier);
    g_prompt = [&](HWND) {
        MSG message;
        while (PeekMessageA(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
            left.push_back(message.wParam);
        return FALSE;
    };
    VerifyPasswordToClose(window_);
    EXPECT_EQ((std::vector<WPARAM>{3, 9}), left);
    DestroyWindow(other);
}

// Set-up and tear-down against the PASSWORD.CPL stand-in, found by name on
// the library search path as the system's own would be.
class PasswordProvider : public PasswordLock {
protected:
    void SetUp() override
    {
        PasswordLock::SetUp();
        UseProviderFrom("password_cpl");
    }
    void TearDown() override
    {
        PasswordLock::TearDown();
        SetDllDirectoryA(nullptr);
    }
    static void UseProviderFrom(const std::string& folder)
    {
        SetDllDirectoryA(FixtureFolder(folder).c_str());
    }
    static bool ProviderLoaded() { return GetModuleHandleA("PASSWORD.CPL") != nullptr; }

    ScreenSavePasswordFlag flag_;
    StandInStore store_;
};

TEST_F(PasswordProvider, TheRegistryValueDecidesWhetherTheLockIsOn)
{
    const BYTE one[] = {1, 0, 0, 0}, zero[] = {0, 0, 0, 0}, five[] = {1, 0, 0, 0, 0};
    struct Case { const char* name; DWORD type; const BYTE* data; DWORD size; bool on; } cases[] = {
        {"missing", REG_NONE, nullptr, 0, false},
        {"0", REG_DWORD, zero, 4, false},
        {"1", REG_DWORD, one, 4, true},
        {"2 bytes, 1", REG_BINARY, one, 2, true},
        {"2 bytes, 0", REG_BINARY, zero, 2, false},
        {"1 byte, 1", REG_BINARY, one, 1, true},
        {"5 bytes: too long to read", REG_BINARY, five, 5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.data)
            flag_.Set(c.type, c.data, c.size);
        else
            flag_.Remove();
        // Set against the expectation, so that a missing or needless call shows.
        SetScreenSaverRunningDirectly(!c.on);
        LoadPasswordProvider();
        EXPECT_EQ(c.on, CurrentPasswordVerifier() != nullptr);
        EXPECT_EQ(c.on, ProviderLoaded());
        EXPECT_TRUE(ScreenSaverRunning());

        UnloadPasswordProvider();
        EXPECT_FALSE(ProviderLoaded());
        EXPECT_EQ(!c.on, ScreenSaverRunning());
    }
}

// Whether the screen-saver-running switch was stored in the user's profile.
// Wine keeps a switch set without SPIF_UPDATEINIFILE under a temporary key
// and writes this value only when asked to update the profile.
bool SwitchStoredInProfile()
{
    HKEY desktop;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_QUERY_VALUE,
                      &desktop) != ERROR_SUCCESS)
        return false;
    const bool stored =
        RegQueryValueExA(desktop, "WINE_ScreenSaverRunning", nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS;
    RegCloseKey(desktop);
    return stored;
}

void ForgetSwitchInProfile()
{
    HKEY desktop;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_SET_VALUE, &desktop) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(desktop, "WINE_ScreenSaverRunning");
        RegCloseKey(desktop);
    }
}

TEST_F(PasswordProvider, TheSwitchGoesOffWithTheCrashGuardAndIsNeverStoredInTheProfile)
{
    flag_.SetNumber(1);
    ForgetSwitchInProfile();
    LoadPasswordProvider();
    ASSERT_TRUE(ScreenSaverRunning());
    UnloadPasswordProvider();
    ASSERT_FALSE(ScreenSaverRunning());
    LoadPasswordProvider();
    RunWithCrashGuard(RaisesSoftwareException, nullptr);
    ASSERT_FALSE(ScreenSaverRunning());
    EXPECT_FALSE(SwitchStoredInProfile());
}

TEST_F(PasswordProvider, StaysOffOnWindowsNTOrWithoutAProvider)
{
    flag_.SetNumber(1);
    SetScreenSaverRunningDirectly(false);
    SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
    LoadPasswordProvider();
    EXPECT_FALSE(ProviderLoaded());
    EXPECT_EQ(0u, store_.Number(STANDIN_PROVIDER_LOADS_VALUE));

    SetStartupStateForTest(GetModuleHandleA(nullptr), 1);
    TempFolder empty;
    SetDllDirectoryA(empty.Path().c_str());
    LoadPasswordProvider();
    EXPECT_EQ(nullptr, CurrentPasswordVerifier());
    EXPECT_FALSE(ScreenSaverRunning());
}

TEST_F(PasswordProvider, AProviderWithoutThePromptIsUnloadedAgain)
{
    UseProviderFrom("password_cpl_without_entry");
    flag_.SetNumber(1);
    SetScreenSaverRunningDirectly(false);
    LoadPasswordProvider();
    EXPECT_EQ(nullptr, CurrentPasswordVerifier());
    EXPECT_FALSE(ProviderLoaded());
    EXPECT_EQ(1u, store_.Number(STANDIN_PROVIDER_LOADS_VALUE));
    EXPECT_EQ(1u, store_.Number(STANDIN_PROVIDER_UNLOADS_VALUE));
    EXPECT_FALSE(ScreenSaverRunning());
    // Without a verifier a close needs no password.
    EXPECT_EQ(1, VerifyPasswordToClose(window_));
}

TEST_F(PasswordProvider, SetUpAgainReloadsAndTearDownTwiceIsHarmless)
{
    flag_.SetNumber(1);
    LoadPasswordProvider();
    LoadPasswordProvider();
    EXPECT_EQ(2u, store_.Number(STANDIN_PROVIDER_LOADS_VALUE));
    EXPECT_EQ(1u, store_.Number(STANDIN_PROVIDER_UNLOADS_VALUE));
    EXPECT_TRUE(ProviderLoaded());
    EXPECT_TRUE(ScreenSaverRunning());

    UnloadPasswordProvider();
    EXPECT_FALSE(ScreenSaverRunning());
    SetScreenSaverRunningDirectly(true);
    UnloadPasswordProvider();  // nothing loaded: no switch call either
    EXPECT_TRUE(ScreenSaverRunning());
    EXPECT_EQ(2u, store_.Number(STANDIN_PROVIDER_UNLOADS_VALUE));
}

TEST_F(PasswordProvider, ThePromptRunsOwnedByTheWindowAndWantsTheRightPassword)
{
    flag_.SetNumber(1);
    store_.SetPassword("letmein");
    LoadPasswordProvider();
    ASSERT_NE(nullptr, CurrentPasswordVerifier());
    for (const char* typed : {"let me in", "letmein"}) {
        SCOPED_TRACE(typed);
        g_now += 1000;
        DialogAnswerer user(STANDIN_PROMPT_CAPTION, {{{{IDC_STANDIN_PASSWORD, typed}}, IDOK}});
        const int approved = VerifyPasswordToClose(window_);
        user.Join();
        EXPECT_EQ(1, user.Answered());
        EXPECT_EQ(window_, user.Owner());
        EXPECT_EQ(std::string(typed) == "letmein", approved != 0);
        EXPECT_EQ(approved, IsCloseApproved());
    }
}

}  // namespace
