#include <gtest/gtest.h>
#include <windows.h>

#include "app/startup.h"
#include "shell/crash_guard.h"
#include "shell/password.h"

namespace {

void* ExceptionListHead()
{
    void* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

bool ScreenSaverRunning()
{
    BOOL running = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    return running != FALSE;
}

int ReturnsSeven(void*) { return 7; }

int RaisesSoftwareException(void*)
{
    RaiseException(0xE0004B58, 0, 0, nullptr);
    return 0;
}

__attribute__((noinline)) int WriteThroughNull(int depth)
{
    if (depth > 0)
        return WriteThroughNull(depth - 1) + 1;
    *static_cast<volatile int*>(nullptr) = 1;
    return 0;
}

int FaultsDeepDown(void*) { return WriteThroughNull(20); }

LRESULT CALLBACK FaultingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        *static_cast<volatile int*>(nullptr) = 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

int FaultsInsideWindowProcedure(void* window)
{
    return static_cast<int>(SendMessageA(static_cast<HWND>(window), WM_APP, 0, 0));
}

int GuardsAnotherGuard(void*) { return RunWithCrashGuard(RaisesSoftwareException, nullptr) + 1; }

// Stands in for the system's crash dialog or debugger: UnhandledExceptionFilter
// calls the process's top-level filter, which sees the switch as it is at the
// moment the system takes over.
int g_switchSeenBySystem = -1;
LONG g_systemAnswer = EXCEPTION_EXECUTE_HANDLER;

LONG WINAPI SystemStandIn(EXCEPTION_POINTERS*)
{
    g_switchSeenBySystem = ScreenSaverRunning() ? 1 : 0;
    return g_systemAnswer;
}

BOOL WINAPI ApprovesAlways(HWND) { return TRUE; }

class CrashGuard : public ::testing::Test {
protected:
    void SetUp() override { SetStartupStateForTest(GetModuleHandleA(nullptr), 1); }
    void TearDown() override
    {
        SystemParametersInfoA(SPI_SCREENSAVERRUNNING, 0, nullptr, 0);
        SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
    }
};

TEST_F(CrashGuard, PassesTheResultThroughAndLeavesTheChainAsItWas)
{
    void* before = ExceptionListHead();
    EXPECT_EQ(7, RunWithCrashGuard(ReturnsSeven, nullptr));
    EXPECT_EQ(before, ExceptionListHead());
}

TEST_F(CrashGuard, HandlesFaultsAndTurnsTheSaverSwitchOff)
{
    struct Case { const char* name; int (*body)(void*); DWORD code; } cases[] = {
        {"RaiseException", RaisesSoftwareException, 0xE0004B58},
        {"null write 20 calls deep", FaultsDeepDown, EXCEPTION_ACCESS_VIOLATION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SystemParametersInfoA(SPI_SCREENSAVERRUNNING, 1, nullptr, 0);
        ASSERT_TRUE(ScreenSaverRunning());
        void* before = ExceptionListHead();
        EXPECT_EQ(c.code, static_cast<DWORD>(RunWithCrashGuard(c.body, nullptr)));
        EXPECT_EQ(before, ExceptionListHead());
        EXPECT_FALSE(ScreenSaverRunning());
    }
}

TEST_F(CrashGuard, HandlesAFaultInsideAWindowProcedure)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FaultingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "CrashGuardTestWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 10, 10, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    void* before = ExceptionListHead();
    EXPECT_EQ(EXCEPTION_ACCESS_VIOLATION, static_cast<DWORD>(RunWithCrashGuard(FaultsInsideWindowProcedure, window)));
    EXPECT_EQ(before, ExceptionListHead());
    DestroyWindow(window);
    UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}

TEST_F(CrashGuard, TheInnermostGuardHandlesAndTheOuterGoesOn)
{
    EXPECT_EQ(static_cast<int>(0xE0004B58) + 1, RunWithCrashGuard(GuardsAnotherGuard, nullptr));
}

TEST_F(CrashGuard, TheSwitchIsOffBeforeTheSystemSeesTheFault)
{
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(SystemStandIn);
    g_switchSeenBySystem = -1;
    g_systemAnswer = EXCEPTION_EXECUTE_HANDLER;
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, 1, nullptr, 0);
    EXPECT_EQ(EXCEPTION_ACCESS_VIOLATION, static_cast<DWORD>(RunWithCrashGuard(FaultsDeepDown, nullptr)));
    EXPECT_EQ(0, g_switchSeenBySystem);

    // A fault the system repaired lets the saver run on, with its lock's switch on again.
    ResetPasswordStateForTest();
    SetPasswordVerifierForTest(ApprovesAlways);
    g_switchSeenBySystem = -1;
    g_systemAnswer = EXCEPTION_CONTINUE_EXECUTION;
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, 1, nullptr, 0);
    EXPECT_EQ(0, RunWithCrashGuard(RaisesSoftwareException, nullptr));
    EXPECT_EQ(0, g_switchSeenBySystem);
    EXPECT_TRUE(ScreenSaverRunning());

    ResetPasswordStateForTest();
    SetUnhandledExceptionFilter(previous);
}

int g_filterCalls;

LONG WINAPI ContinueWhereItFaulted(EXCEPTION_POINTERS*)
{
    ++g_filterCalls;
    return EXCEPTION_CONTINUE_EXECUTION;
}

int RaisesThenCarriesOn(void*)
{
    RaiseException(0xE0004B58, 0, 0, nullptr);
    return 5;  // reached only when the raise came back
}

TEST_F(CrashGuard, AnAnswerToContinueResumesTheFaultingCode)
{
    // UnhandledExceptionFilter answers what the process's top-level filter answers.
    g_filterCalls = 0;
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(ContinueWhereItFaulted);
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, 1, nullptr, 0);
    void* before = ExceptionListHead();
    const int result = RunWithCrashGuard(RaisesThenCarriesOn, nullptr);
    SetUnhandledExceptionFilter(previous);
    EXPECT_EQ(5, result);
    EXPECT_EQ(1, g_filterCalls);
    EXPECT_EQ(before, ExceptionListHead());
}

TEST_F(CrashGuard, LeavesTheSwitchAloneOnWindowsNT)
{
    SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, 1, nullptr, 0);
    RunWithCrashGuard(RaisesSoftwareException, nullptr);
    EXPECT_TRUE(ScreenSaverRunning());
}

}  // namespace
