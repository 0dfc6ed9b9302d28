#include <gtest/gtest.h>
#include <windows.h>

#include "app/startup.h"
#include "game/settings_file.h"
#include "shell/dismissal.h"
#include "shell/password.h"
#include "shell/saver_window.h"
#include "tests/support/import_hook.h"
#include "tests/unit/saver_state.h"

namespace {

const UINT kAutoPlay = 0xC123;
using Step = DismissalStep;

TEST(DecideDismissal, FollowsTheMessageTableWhenEverythingIsClear)
{
    const DismissalState clear = {0, 0, 0, 1, kAutoPlay};
    struct Case { UINT message; WPARAM wParam; Step step; } cases[] = {
        {WM_CLOSE, 0, Step::VerifyClose},
        {WM_APP, 0, Step::AnswerFromVerifier},
        {WM_SHOWWINDOW, 1, Step::HideCursorThenDefault},
        {WM_SHOWWINDOW, 0, Step::DefaultHandling},
        {WM_ACTIVATEAPP, 0, Step::RequestCloseThenDefault},
        {WM_ACTIVATEAPP, 1, Step::DefaultHandling},
        {WM_ACTIVATE, WA_INACTIVE, Step::DefaultHandling},
        {WM_SETCURSOR, 0, Step::HideCursorAnswerOne},
        {WM_POWER, 1, Step::DefaultHandling},
        {WM_POWER, 2, Step::DefaultHandling},
        {WM_POWER, 3, Step::RequestCloseThenDefault},
        {WM_POWERBROADCAST, 0, Step::RequestCloseThenDefault},
        {WM_POWERBROADCAST, 0x1234, Step::RequestCloseThenDefault},
        {WM_KEYDOWN, 'A', Step::RequestCloseThenDefault},
        {WM_SYSKEYDOWN, VK_MENU, Step::RequestCloseThenDefault},
        {WM_LBUTTONDOWN, 0, Step::RequestCloseThenDefault},
        {WM_RBUTTONDOWN, 0, Step::RequestCloseThenDefault},
        {WM_MBUTTONDOWN, 0, Step::RequestCloseThenDefault},
        {WM_MOUSEMOVE, 0, Step::MouseTestThenDefault},
        {WM_KEYUP, 'A', Step::DefaultHandling},
        {WM_CHAR, 'a', Step::DefaultHandling},
        {WM_LBUTTONUP, 0, Step::DefaultHandling},
        {WM_LBUTTONDBLCLK, 0, Step::DefaultHandling},
        {WM_TIMER, 1, Step::DefaultHandling},
        {kAutoPlay, 0, Step::CancelAutoPlay},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.step, DecideDismissal(c.message, c.wParam, clear))
            << "message 0x" << std::hex << c.message << " wParam " << c.wParam;
}

TEST(DecideDismissal, PreviewApprovalAndVerificationSilenceInput)
{
    const DismissalState states[] = {
        {1, 0, 0, 1, kAutoPlay},  // preview
        {0, 1, 0, 1, kAutoPlay},  // approved
        {0, 0, 1, 1, kAutoPlay},  // prompt open
    };
    for (const DismissalState& state : states) {
        SCOPED_TRACE(testing::Message() << "preview " << state.preview << " approved "
                                        << state.closeApproved << " verifying " << state.verifying);
        for (UINT message : {WM_KEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_ACTIVATEAPP,
                             WM_SETCURSOR, WM_SHOWWINDOW, WM_POWERBROADCAST})
            EXPECT_EQ(Step::DefaultHandling, DecideDismissal(message, 0, state)) << message;
        // The shell's AutoPlay question is answered in every state.
        EXPECT_EQ(Step::CancelAutoPlay, DecideDismissal(kAutoPlay, 0, state));
    }
    // Only preview and approval bypass the lock; a close during the prompt still asks it.
    EXPECT_EQ(Step::DefaultHandling, DecideDismissal(WM_CLOSE, 0, states[0]));
    EXPECT_EQ(Step::DefaultHandling, DecideDismissal(WM_APP, 0, states[1]));
    EXPECT_EQ(Step::VerifyClose, DecideDismissal(WM_CLOSE, 0, states[2]));
    EXPECT_EQ(Step::AnswerFromVerifier, DecideDismissal(WM_APP, 0, states[2]));
}

TEST(DecideDismissal, WindowsNTClosesAtOnceAndHasNoAutoPlayMessage)
{
    const DismissalState nt = {0, 0, 0, 0, 0};
    EXPECT_EQ(Step::DefaultHandling, DecideDismissal(WM_CLOSE, 0, nt));
    EXPECT_EQ(Step::DefaultHandling, DecideDismissal(WM_APP, 0, nt));
    EXPECT_EQ(Step::DefaultHandling, DecideDismissal(WM_NULL, 0, nt));  // id 0 is no id
    EXPECT_EQ(Step::RequestCloseThenDefault, DecideDismissal(WM_KEYDOWN, 0, nt));
}

TEST(MovedBeyondThreshold, IsStrictManhattanDistance)
{
    struct Case { POINT anchor, cursor; bool moved; } cases[] = {
        {{100, 100}, {103, 101}, false},  // 4
        {{100, 100}, {103, 102}, true},   // 5
        {{100, 100}, {96, 100}, false},
        {{100, 100}, {100, 95}, true},
        {{-5, -5}, {-2, -3}, true},
        {{0, 0}, {0, 0}, false},
        {{-2000000000, 0}, {2000000000, 0}, true},  // far apart does not wrap to small
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.moved, MovedBeyondThreshold(c.anchor, c.cursor))
            << c.anchor.x << "," << c.anchor.y << " -> " << c.cursor.x << "," << c.cursor.y;
}

// The saver window's chain on a real, hidden window of this process.
class SaverChain : public testing::Test {
protected:
    void SetUp() override
    {
        ResetSaverStateForTest(1);
        SetTickSourceForTest(FakeTick);
        s_tick = 1000;
        s_verifierCalls = 0;
        s_verifierAnswer = 0;
        s_closesAskedDuringPrompt = 0;
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = OuterWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KuboChainTest";
        RegisterClassA(&windowClass);
        // A child, so that creation goes on instead of starting the game; with
        // the preview flag clear the chain still behaves as full screen.
        host_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        window_ = CreateWindowExA(0, "KuboChainTest", "Screen Saver", WS_CHILD, 10, 10, 200, 150,
                                  host_, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, window_);
        Drain();
    }
    void TearDown() override
    {
        DestroyWindow(host_);
        Drain();
        ResetPasswordStateForTest();
        SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
    }
    // Removes the posted messages and counts the close requests among them.
    int Drain()
    {
        int closes = 0;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            closes += message.message == WM_CLOSE;
        return closes;
    }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return SendMessageA(window_, message, wParam, lParam);
    }
    static DWORD WINAPI FakeTick() { return s_tick; }
    static BOOL WINAPI Verifier(HWND)
    {
        ++s_verifierCalls;
        // While the prompt is open, input asks nothing and a close is swallowed.
        SendMessageA(s_window, WM_KEYDOWN, 'A', 0);
        MSG close;
        while (PeekMessageA(&close, s_window, WM_CLOSE, WM_CLOSE, PM_REMOVE))
            ++s_closesAskedDuringPrompt;
        s_closeDuringPrompt = SendMessageA(s_window, WM_CLOSE, 0, 0);
        return s_verifierAnswer;
    }

    HWND host_ = nullptr;
    HWND window_ = nullptr;
    static DWORD s_tick;
    static int s_verifierCalls;
    static BOOL s_verifierAnswer;
    static HWND s_window;
    static int s_closesAskedDuringPrompt;
    static LRESULT s_closeDuringPrompt;
};
DWORD SaverChain::s_tick;
int SaverChain::s_verifierCalls;
BOOL SaverChain::s_verifierAnswer;
HWND SaverChain::s_window;
int SaverChain::s_closesAskedDuringPrompt;
LRESULT SaverChain::s_closeDuringPrompt;

TEST_F(SaverChain, MouseMovementAddsUpFromTheAnchor)
{
    ASSERT_TRUE(SetCursorPos(100, 100));
    SetCursorAnchorForTest(POINT{100, 100});
    // lParam's coordinates are ignored: only where the cursor is counts.
    const LPARAM farAway = MAKELPARAM(500, 500);
    for (int x : {102, 104}) {
        SetCursorPos(x, 100);
        Send(WM_MOUSEMOVE, 0, farAway);
        EXPECT_EQ(0, Drain()) << "at x " << x;
        EXPECT_EQ(100, CursorAnchor().x);
    }
    SetCursorPos(106, 100);
    Send(WM_MOUSEMOVE, 0, farAway);
    EXPECT_EQ(1, Drain());
    EXPECT_EQ(106, CursorAnchor().x);
    EXPECT_EQ(100, CursorAnchor().y);
}

TEST_F(SaverChain, CreationRecordsTheAnchor)
{
    SetCursorPos(321, 123);
    HWND second = CreateWindowExA(0, "KuboChainTest", "x", WS_CHILD, 0, 0, 50, 50, host_, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(321, CursorAnchor().x);
    EXPECT_EQ(123, CursorAnchor().y);
    DestroyWindow(second);
}

// Stands in for user32's DefWindowProcA: notes the message it was given and
// answers a value no default handling of these messages gives.
const LRESULT kDefaultAnswer = 0x5EC0;
UINT g_defaultMessage;
LRESULT WINAPI AnswerAsDefault(HWND, UINT message, WPARAM, LPARAM)
{
    g_defaultMessage = message;
    return kDefaultAnswer;
}

// Input, activation and power messages that ask to close post WM_CLOSE and
// still get the default handling, whose answer is returned; the others post
// nothing. WM_SETCURSOR hides the cursor and answers 1 without it.
TEST_F(SaverChain, InputRequestsClosingAndKeepsDefaultHandling)
{
    struct Case { UINT message; WPARAM wParam; int closes; LRESULT answer; LPARAM lParam = 0; } cases[] = {
        {WM_KEYDOWN, 'A', 1, kDefaultAnswer},
        {WM_SYSKEYDOWN, VK_MENU, 1, kDefaultAnswer},
        {WM_LBUTTONDOWN, MK_LBUTTON, 1, kDefaultAnswer},
        {WM_RBUTTONDOWN, MK_RBUTTON, 1, kDefaultAnswer},
        {WM_MBUTTONDOWN, MK_MBUTTON, 1, kDefaultAnswer},
        {WM_MOUSEMOVE, 0, 1, kDefaultAnswer},  // the cursor lies past the threshold from the anchor
        {WM_ACTIVATEAPP, FALSE, 1, kDefaultAnswer},
        {WM_POWER, PWR_CRITICALRESUME, 1, kDefaultAnswer},
        {WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 1, kDefaultAnswer},
        {WM_ACTIVATEAPP, TRUE, 0, kDefaultAnswer},
        {WM_ACTIVATE, WA_INACTIVE, 0, kDefaultAnswer},
        {WM_KEYUP, 'A', 0, kDefaultAnswer},
        {WM_SETCURSOR, 0, 0, 1, MAKELPARAM(HTCAPTION, 0)},  // over the non-client area too
    };
    ASSERT_TRUE(SetCursorPos(200, 200));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << c.message);
        SetCursorAnchorForTest(POINT{100, 100});
        g_defaultMessage = WM_NULL;
        LRESULT answer;
        {
            ImportHook hook("user32.dll", "DefWindowProcA", reinterpret_cast<const void*>(&AnswerAsDefault));
            ASSERT_TRUE(hook.Installed());
            answer = Send(c.message, c.wParam, c.lParam);
        }
        EXPECT_EQ(c.closes, Drain());
        EXPECT_EQ(c.answer == kDefaultAnswer ? c.message : WM_NULL, g_defaultMessage);
        EXPECT_EQ(c.answer, answer);
    }
    EXPECT_TRUE(IsWindow(window_));
}

TEST_F(SaverChain, CloseWithoutVerifierIsApprovedAndDestroys)
{
    Send(WM_CLOSE);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(1, IsCloseApproved());
}

TEST_F(SaverChain, CloseOnWindowsNTDestroysWithoutApproval)
{
    SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
    Send(WM_CLOSE);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(0, IsCloseApproved());
}

TEST_F(SaverChain, RefusedCloseKeepsTheWindowAndMovesTheAnchor)
{
    SetPasswordVerifierForTest(Verifier);
    s_window = window_;
    SetCursorPos(40, 50);
    EXPECT_EQ(0, Send(WM_CLOSE));
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(1, s_verifierCalls);
    EXPECT_EQ(0, s_closeDuringPrompt);
    EXPECT_EQ(0, s_closesAskedDuringPrompt) << "a key during the prompt must not ask to close";
    EXPECT_EQ(0, Drain());
    EXPECT_EQ(40, CursorAnchor().x);
    EXPECT_EQ(50, CursorAnchor().y);

    // Too soon after the prompt: refused without asking again.
    s_tick += 100;
    EXPECT_EQ(0, Send(WM_CLOSE));
    EXPECT_EQ(1, s_verifierCalls);

    // Later, a right password lets it close.
    s_tick += 500;
    s_verifierAnswer = 1;
    Send(WM_CLOSE);
    EXPECT_EQ(2, s_verifierCalls);
    EXPECT_FALSE(IsWindow(window_));
}

TEST_F(SaverChain, PasswordCheckAnswersOneWithoutVerifier)
{
    EXPECT_EQ(1, Send(WM_APP));
    SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
    EXPECT_EQ(0, Send(WM_APP));  // default handling
}

TEST_F(SaverChain, AutoPlayClosesEvenInPreviewAndTellsWhetherLocked)
{
    SetSaverWindowKind(1, kAutoPlay);
    EXPECT_EQ(0, Send(kAutoPlay));
    EXPECT_EQ(1, Drain());
    SetPasswordVerifierForTest(Verifier);
    EXPECT_EQ(1, Send(kAutoPlay));
    EXPECT_EQ(1, Drain());
    EXPECT_EQ(0, s_verifierCalls);
    Send(WM_KEYDOWN);
    EXPECT_EQ(0, Drain()) << "a preview never closes on input";
}

TEST_F(SaverChain, AfterApprovalInputIsShutOut)
{
    SetPasswordVerifierForTest(Verifier);
    s_window = window_;
    s_verifierAnswer = 1;
    // Keep the window alive through the approval by asking the lock directly.
    ASSERT_EQ(1, VerifyPasswordToClose(window_));
    Drain();
    for (UINT message : {WM_KEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_ACTIVATEAPP})
        Send(message);
    SetCursorPos(600, 600);
    Send(WM_MOUSEMOVE);
    EXPECT_EQ(0, Drain());
    EXPECT_EQ(0, Send(WM_TIMER, 1));
    EXPECT_EQ(0, Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(window_), HTCLIENT)) << "no longer 1";
}

}  // namespace
