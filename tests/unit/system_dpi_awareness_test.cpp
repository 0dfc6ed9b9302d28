#include <gtest/gtest.h>
#include <windows.h>

#include "system/dpi_awareness.h"

namespace {

TEST(BestAwarenessCall, TakesTheBestTheSystemHas)
{
    struct Case { AwarenessCalls has; AwarenessCall expected; } cases[] = {
        {{true, true, true}, AwarenessCall::PerMonitorV2},   // Windows 10 1703 on
        {{false, true, true}, AwarenessCall::PerMonitor},    // 8.1 to 10 1607, or v2 refused
        {{false, false, true}, AwarenessCall::System},       // Vista to 8
        {{true, false, false}, AwarenessCall::PerMonitorV2},
        {{false, false, false}, AwarenessCall::None},        // 95 to XP
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, BestAwarenessCall(c.has))
            << c.has.perMonitorV2 << c.has.perMonitor << c.has.system;
}

TEST(ScaleForDpi, RoundsToTheNearestPixelAndKeepsAnUnknownDpi)
{
    struct Case { int value, toDpi, fromDpi, expected; } cases[] = {
        {151, 96, 96, 151},  {151, 120, 96, 189}, {151, 144, 96, 227}, {111, 144, 96, 167},
        {151, 192, 96, 302}, {227, 96, 144, 151}, {-16, 144, 96, -24},  {151, 0, 96, 151},
        {151, 144, 0, 151},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, ScaleForDpi(c.value, c.toDpi, c.fromDpi))
            << c.value << " from " << c.fromDpi << " to " << c.toDpi;
}

TEST(DpiOfFontHeight, GivesTheDpiADialogMadeItsTwelvePointFontFor)
{
    struct Case { int height, expected; } cases[] = {
        {-16, 96}, {-20, 120}, {-24, 144}, {-32, 192}, {24, 144}, {0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, DpiOfFontHeight(c.height, 12)) << c.height;
    EXPECT_EQ(0, DpiOfFontHeight(-16, 0));
}

}  // namespace
