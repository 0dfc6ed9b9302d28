#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "host/player_input.h"

namespace {

TEST(PlayersInput, HookEventsCountAsWhatWouldHaveClosedTheSaversWindow)
{
    using Input = PlayersInput;
    struct Case { UINT message; DWORD pixels; Input input; } cases[] = {
        {WM_KEYDOWN, 0, Input::Key},
        {WM_SYSKEYDOWN, 0, Input::Key},
        {WM_KEYUP, 0, Input::None},  // the press already counted, or came before the watch
        {WM_LBUTTONDOWN, 0, Input::Button},
        {WM_RBUTTONDOWN, 0, Input::Button},
        {WM_MBUTTONDOWN, 0, Input::Button},
        {WM_XBUTTONDOWN, 0, Input::Button},
        {WM_LBUTTONUP, 0, Input::None},
        {WM_MOUSEWHEEL, 0, Input::None},
        {WM_MOUSEMOVE, 0, Input::None},  // a window appearing under a still pointer
        {WM_MOUSEMOVE, 4, Input::None},  // a jitter
        {WM_MOUSEMOVE, 5, Input::Move},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.input, ClassifyHookEvent(c.message, c.pixels)) << "message 0x" << std::hex << c.message;
}

// Each event comes with where the pointer was just before it (the hook runs
// before the system moves it) and where it puts it. Runs of events from a
// pointer at (100, 100), with the distance the last one measures.
TEST(PlayersInput, MovesAreMeasuredFromWhereTheWatchBeganOrAProgramLastPutThePointer)
{
    struct Event { POINT before, at; };
    struct Case { const char* what; std::vector<Event> events; DWORD pixels; } cases[] = {
        {"one jump", {{{100, 100}, {140, 100}}}, 40},
        {"a jitter", {{{100, 100}, {102, 100}}, {{102, 100}, {100, 100}}, {{100, 100}, {102, 100}}}, 2},
        {"drift adds up", {{{100, 100}, {101, 100}}, {{101, 100}, {102, 100}}, {{102, 100}, {103, 100}},
                           {{103, 100}, {104, 101}}}, 5},
        // A game centres the pointer (no event on Windows); the jitter that
        // follows is measured from there.
        {"a program's move, then a jitter", {{{400, 300}, {402, 300}}, {{402, 300}, {400, 299}}}, 1},
        {"a program's move, then the player", {{{400, 300}, {410, 300}}}, 10},
        // Under Wine the program's move reaches the hooks, already made.
        {"a program's move the hooks see", {{{40, 40}, {40, 40}}, {{40, 40}, {42, 40}}}, 2},
        // The system still has the pointer where an earlier event left it.
        {"the system lags its hooks", {{{100, 100}, {102, 100}}, {{100, 100}, {104, 100}},
                                       {{102, 100}, {106, 100}}}, 6},
        {"a program's move between the player's", {{{100, 100}, {103, 100}}, {{500, 500}, {502, 500}}}, 5},
    };
    for (const Case& c : cases) {
        PointerTrail trail({100, 100});
        DWORD pixels = 0;
        for (const Event& e : c.events)
            pixels = trail.Follow(e.before, e.at);
        EXPECT_EQ(c.pixels, pixels) << c.what;
    }
}

// Without hooks the watch looks at the system in turn: only a look that
// follows new input can be the player (a program may move the pointer), and
// input that moved no pointer was a key or a button.
TEST(PlayersInput, APolledLookCountsOnlyAfterNewInput)
{
    const POINT anchor = {100, 100};
    const POINT away = {110, 100};
    using Input = PlayersInput;
    struct Case { bool newInput, pointerInput; POINT pointer; Input input; } cases[] = {
        {false, true, away, Input::None},           // a program moved it
        {true, true, anchor, Input::None},          // a window appearing moves the last-input time
        {true, true, {102, 102}, Input::None},      // a jitter
        {true, true, away, Input::Move},
        {true, false, anchor, Input::KeyOrButton},
        {true, false, away, Input::KeyOrButton},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.input, ClassifyPolledLook(c.newInput, c.pointerInput, anchor, c.pointer))
            << c.newInput << c.pointerInput << ' ' << c.pointer.x;
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
