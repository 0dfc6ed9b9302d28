#include <gtest/gtest.h>
#include <windows.h>

#include "host/player_input.h"

namespace {

TEST(PlayersInput, HookEventsCountAsWhatWouldHaveClosedTheSaversWindow)
{
    const POINT anchor = {100, 100};
    using Input = PlayersInput;
    struct Case { UINT message; POINT pointer; Input input; } cases[] = {
        {WM_KEYDOWN, anchor, Input::Key},
        {WM_SYSKEYDOWN, anchor, Input::Key},
        {WM_KEYUP, anchor, Input::None},  // the press already counted, or came before the watch
        {WM_LBUTTONDOWN, anchor, Input::Button},
        {WM_RBUTTONDOWN, anchor, Input::Button},
        {WM_MBUTTONDOWN, anchor, Input::Button},
        {WM_XBUTTONDOWN, anchor, Input::Button},
        {WM_LBUTTONUP, anchor, Input::None},
        {WM_MOUSEWHEEL, anchor, Input::None},
        {WM_MOUSEMOVE, anchor, Input::None},      // a window appearing under a still pointer
        {WM_MOUSEMOVE, {103, 101}, Input::None},  // 4 pixels: a jitter
        {WM_MOUSEMOVE, {98, 97}, Input::Move},    // 5 pixels, the other way
        {WM_MOUSEMOVE, {140, 100}, Input::Move},  // one jump
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.input, ClassifyHookEvent(c.message, anchor, c.pointer))
            << "message 0x" << std::hex << c.message << std::dec << " at " << c.pointer.x << ',' << c.pointer.y;
}

// Without hooks the watch looks at the system in turn: only a look that
// follows new input can be the player (a program may move the pointer, a key
// may be held from before).
TEST(PlayersInput, APolledLookCountsOnlyAfterNewInput)
{
    const POINT anchor = {100, 100};
    const POINT away = {110, 100};
    using Input = PlayersInput;
    struct Case { bool newInput; POINT pointer; bool key, button; Input input; } cases[] = {
        {false, away, true, true, Input::None},
        {true, anchor, false, false, Input::None},  // a window appearing moves the last-input time
        {true, {102, 102}, false, false, Input::None},
        {true, away, false, false, Input::Move},
        {true, anchor, true, false, Input::Key},
        {true, anchor, false, true, Input::Button},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.input, ClassifyPolledState(c.newInput, anchor, c.pointer, c.key, c.button))
            << c.newInput << ' ' << c.pointer.x << ' ' << c.key << c.button;
}

TEST(PlayersInput, InputLaterThanTheHooksLastEventWentPastThem)
{
    struct Case { DWORD system, hooks; bool unseen; } cases[] = {
        {1000, 1000, false}, {900, 1000, false},  // seen, or from before
        {1050, 1000, false},                      // the clocks' grain
        {1051, 1000, true},  {5000, 1000, true},
        {20, 0xFFFFFFF0u, false},  // across a wrap of the tick count, within the grain
        {200, 0xFFFFFFF0u, true},
        {0xFFFFFFF0u, 200, false},  // before, across the wrap
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.unseen, InputWentUnseen(c.system, c.hooks)) << c.system << " after " << c.hooks;
}

}  // namespace
