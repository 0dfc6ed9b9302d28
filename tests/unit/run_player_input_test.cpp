#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "run/player_input.h"

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

// Each event comes with where the pointer was just before it, where it puts
// it, whether a program injected it, and its time in ms. Runs of events from
// a pointer at (100, 100), with how far the hand has taken the pointer after
// the last.
struct TrailEvent { POINT before, at; bool injected = false; DWORD time = 0; };
struct TrailCase { const char* what; std::vector<TrailEvent> events; DWORD pixels; };

DWORD FollowAll(const TrailCase& c, bool underWine)
{
    PointerTrail trail({100, 100}, underWine);
    DWORD pixels = 0;
    DWORD time = 1000;
    for (const TrailEvent& e : c.events)
        pixels = trail.Follow(e.before, e.at, e.injected, e.time ? e.time : time += 100);
    return pixels;
}

// In Windows' order: the hook runs before the system moves the pointer, and
// a program's move (SetCursorPos, a clip, a clamp) reaches no hook.
TEST(PlayersInput, TheHandsMovesAddUpWhateverAProgramDoesToThePointer)
{
    const POINT c = {400, 300};  // where a game puts the pointer back every frame
    const TrailCase cases[] = {
        {"one jump", {{{100, 100}, {140, 100}}}, 40},
        {"a jitter there and back", {{{100, 100}, {102, 100}}, {{102, 100}, {100, 100}}, {{100, 100}, {102, 100}}}, 2},
        {"drift adds up", {{{100, 100}, {101, 100}}, {{101, 100}, {102, 100}}, {{102, 100}, {103, 100}},
                           {{103, 100}, {104, 101}}}, 5},
        {"a game centring, a steady move", {{c, {402, 300}}, {c, {402, 300}}, {c, {402, 300}}}, 6},
        {"a game centring, a jitter", {{c, {402, 300}}, {c, {398, 300}}, {c, {402, 300}}, {c, {398, 300}}}, 0},
        // A button, a wheel, a report of a 1000 Hz mouse that rounds to no
        // pixel: the game's place among the last events changes nothing.
        {"a game centring, events that move no pixel between", {{c, {402, 300}}, {c, c}, {c, {402, 300}}, {c, c},
                                                                {c, {402, 300}}}, 6},
        {"a pointer held by a clip or pushed into the screen's edge, then freed",
         {{{0, 100}, {0, 100}}, {{0, 100}, {0, 100}}, {{0, 100}, {0, 100}}, {{0, 100}, {2, 100}}}, 2},
        {"a program's move back onto a place of the last events", {{{100, 100}, {102, 100}}, {{102, 100}, {104, 100}},
                                                                    {{100, 100}, {102, 100}}}, 6},
        {"a program's move between the player's", {{{100, 100}, {103, 100}}, {{500, 500}, {502, 500}}}, 5},
        {"a program's move echoed, then a jitter", {{{40, 40}, {40, 40}}, {{40, 40}, {42, 40}}, {{42, 40}, {40, 40}}},
         0},
    };
    for (const TrailCase& c2 : cases)
        EXPECT_EQ(c2.pixels, FollowAll(c2, false)) << c2.what;
}

// Under Wine: a real mouse (the X side, not injected) may find Wine's idea of
// the pointer stale, and each of its moves comes twice, the second already
// made; under load an injected event may find the pointer where the one
// before it found it.
TEST(PlayersInput, UnderWineAStalePointerAndTheHooksLagAreNotTheHand)
{
    const POINT c = {512, 384};
    const TrailCase cases[] = {
        {"a window appearing over a stale pointer, a jitter from the X side",
         {{{100, 100}, {800, 600}}, {{800, 600}, {802, 600}}, {{802, 600}, {802, 600}}, {{802, 600}, {800, 600}},
          {{800, 600}, {800, 600}}}, 0},
        {"a stale pointer, then the hand from the X side",
         {{{100, 100}, {800, 600}}, {{800, 600}, {803, 600}}, {{803, 600}, {803, 600}}, {{803, 600}, {806, 600}},
          {{806, 600}, {806, 600}}}, 6},
        {"a game centring, a steady move from the X side",
         {{c, {515, 384}}, {{515, 384}, {515, 384}}, {c, {515, 384}}, {{515, 384}, {515, 384}}, {c, {515, 384}},
          {{515, 384}, {515, 384}}}, 6},
        {"injected: the hooks ahead of the pointer", {{{100, 100}, {102, 100}, true, 1000},
                                                     {{100, 100}, {104, 100}, true, 1020}}, 4},
        {"injected: a jitter the pointer lags behind", {{{100, 100}, {102, 100}, true, 1000},
                                                       {{100, 100}, {100, 100}, true, 1020},
                                                       {{100, 100}, {102, 100}, true, 1100},
                                                       {{102, 100}, {100, 100}, true, 1120}}, 0},
        {"injected: a game centring between moves long apart", {{c, {514, 384}, true, 1000},
                                                                {c, {514, 384}, true, 1100},
                                                                {c, {514, 384}, true, 1200}}, 6},
        {"an injected jump", {{{100, 100}, {140, 100}, true}}, 40},
    };
    for (const TrailCase& c2 : cases)
        EXPECT_EQ(c2.pixels, FollowAll(c2, true)) << c2.what;
    // Windows has no stale pointer: the same first event is a move.
    EXPECT_EQ(1200u, FollowAll(cases[0], false)) << cases[0].what;
}

// Without hooks the watch looks at the system in turn: where it gives its
// last-input time, only a look that follows new input can be the player (a
// program may move the pointer), and input that moved no pointer was a key
// or a button; where it gives none (NT 4.0), only a move beyond the
// threshold, or a key the keys' state shows.
TEST(PlayersInput, APolledLookCountsOnlyWhatTheSystemShowsOfTheHand)
{
    const POINT anchor = {100, 100};
    const POINT away = {110, 100};
    using Input = PlayersInput;
    struct Case { bool knowsTime, newInput, pointerInput, key, during; POINT pointer; Input input; } cases[] = {
        {true, false, true, false, false, away, Input::None},           // a program moved it
        {true, true, true, false, false, anchor, Input::None},          // a window appearing moves the last-input time
        {true, true, true, false, false, {102, 102}, Input::None},      // a jitter
        {true, true, true, false, false, away, Input::Move},
        {true, true, false, false, false, anchor, Input::KeyOrButton},
        {true, true, false, false, false, away, Input::KeyOrButton},
        {true, true, false, false, true, anchor, Input::None},          // a move between the look's reads
        {true, true, true, false, true, away, Input::None},
        {true, false, false, true, false, anchor, Input::KeyOrButton},  // the keys' state
        {true, true, false, true, true, anchor, Input::KeyOrButton},
        {false, false, false, false, false, anchor, Input::None},       // NT 4.0: a still pointer is nobody
        {false, false, true, false, false, {102, 102}, Input::None},
        {false, false, true, false, false, away, Input::Move},
        {false, false, false, true, false, anchor, Input::KeyOrButton},
    };
    for (const Case& c : cases) {
        const PolledLook look = {c.knowsTime, c.newInput, c.pointerInput, c.key, c.during, anchor, c.pointer};
        EXPECT_EQ(c.input, ClassifyPolledLook(look))
            << c.knowsTime << c.newInput << c.pointerInput << c.key << c.during << ' ' << c.pointer.x;
    }
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
