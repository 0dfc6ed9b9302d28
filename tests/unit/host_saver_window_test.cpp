#include <gtest/gtest.h>
#include <windows.h>

#include "host/saver_window.h"

namespace {

using Step = OuterStep;

TEST(DecideOuterStep, FollowsTheTableInEveryState)
{
    struct Case { UINT message; WPARAM wParam; int preview, approved; Step step; } cases[] = {
        {WM_CREATE, 0, 0, 0, Step::CreateThenPassOn},
        {WM_CREATE, 0, 1, 0, Step::CreateThenPassOn},
        {WM_DESTROY, 0, 0, 1, Step::DestroyThenPassOn},
        {WM_SETTEXT, 0, 0, 0, Step::AnswerZero},
        {WM_SETTEXT, 0, 1, 1, Step::AnswerZero},
        {WM_PAINT, 0, 0, 0, Step::HideCursorThenPassOn},
        {WM_PAINT, 0, 1, 0, Step::PassOn},
        {WM_PAINT, 0, 0, 1, Step::DefaultHandling},
        {WM_PAINT, 0, 1, 1, Step::DefaultHandling},
        {WM_HELP, 0, 1, 0, Step::ForwardToParent},
        {WM_CONTEXTMENU, 0, 1, 1, Step::ForwardToParent},
        {WM_HELP, 0, 0, 0, Step::PassOn},
        {WM_CONTEXTMENU, 0, 0, 0, Step::PassOn},
        {WM_TIMER, 7, 0, 0, Step::YieldThenPassOn},
        {WM_TIMER, 7, 1, 0, Step::YieldThenPassOn},
        {WM_TIMER, 7, 0, 1, Step::AnswerZero},
        {WM_SYSCOMMAND, SC_SCREENSAVE, 0, 0, Step::AnswerZero},
        {WM_SYSCOMMAND, SC_NEXTWINDOW, 0, 0, Step::AnswerZero},
        {WM_SYSCOMMAND, SC_PREVWINDOW, 0, 1, Step::AnswerZero},
        {WM_SYSCOMMAND, SC_SCREENSAVE + 2, 0, 0, Step::PassOn},  // low bits are not masked
        {WM_SYSCOMMAND, SC_CLOSE, 0, 0, Step::PassOn},
        {WM_SYSCOMMAND, SC_SCREENSAVE, 1, 0, Step::PassOn},
        {WM_KEYUP, 0, 0, 1, Step::PassOn},
        {WM_CHAR, 0, 0, 1, Step::PassOn},
        {WM_ACTIVATEAPP, 0, 0, 1, Step::PassOn},
        {WM_CLOSE, 0, 0, 1, Step::PassOn},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.step, DecideOuterStep(c.message, c.wParam, c.preview, c.approved))
            << "message 0x" << std::hex << c.message << " wParam 0x" << c.wParam << std::dec
            << " preview " << c.preview << " approved " << c.approved;

    for (UINT input : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN,
                       WM_MBUTTONDOWN}) {
        EXPECT_EQ(Step::PassOn, DecideOuterStep(input, 0, 0, 0)) << input;
        EXPECT_EQ(Step::PassOn, DecideOuterStep(input, 0, 1, 0)) << input;
        EXPECT_EQ(Step::DefaultHandling, DecideOuterStep(input, 0, 0, 1)) << input;
    }
}

}  // namespace
