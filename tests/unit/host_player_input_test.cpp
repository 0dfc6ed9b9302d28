#include <gtest/gtest.h>
#include <windows.h>

#include "host/player_input.h"

namespace {

TEST(PlayersInput, IsWhatWouldHaveClosedTheSaversWindow)
{
    const POINT anchor = {100, 100};
    struct Case { UINT message; POINT pointer; bool players; } cases[] = {
        {WM_KEYDOWN, anchor, true},
        {WM_SYSKEYDOWN, anchor, true},
        {WM_KEYUP, anchor, false},  // the press already counted, or came before the watch
        {WM_LBUTTONDOWN, anchor, true},
        {WM_RBUTTONDOWN, anchor, true},
        {WM_MBUTTONDOWN, anchor, true},
        {WM_LBUTTONUP, anchor, false},
        {WM_MOUSEWHEEL, anchor, false},
        {WM_MOUSEMOVE, anchor, false},      // a window appearing under a still pointer
        {WM_MOUSEMOVE, {103, 101}, false},  // 4 pixels: a jitter
        {WM_MOUSEMOVE, {98, 97}, true},     // 5 pixels, the other way
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.players, IsPlayersInput(c.message, anchor, c.pointer))
            << "message 0x" << std::hex << c.message << std::dec << " at " << c.pointer.x << ',' << c.pointer.y;
}

}  // namespace
