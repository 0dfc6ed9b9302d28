#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include "game/launch_context.h"

namespace {

TEST(LaunchContext, OnlyTheThreeServiceAccountsKeepTheGameFromStarting)
{
    struct Case { const char* sid; bool service; } cases[] = {
        {"S-1-5-18", true}, {"S-1-5-19", true}, {"S-1-5-20", true},  // System, Local and Network Service
        {"S-1-5-17", false}, {"S-1-5-21", false}, {"S-1-5-18-1", false},
        {"S-1-16-18", false},  // another authority, the same number
        {"S-1-5-21-1004336348-1177238915-682003330-1000", false},  // an ordinary user
    };
    for (const Case& c : cases) {
        PSID sid = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidA(c.sid, &sid)) << c.sid;
        EXPECT_EQ(c.service, IsServiceAccountSid(static_cast<const SID*>(sid))) << c.sid;
        LocalFree(sid);
    }
    // Under Wine every process runs as the user who started it.
    EXPECT_FALSE(RunsAsServiceAccount());
}

}  // namespace
