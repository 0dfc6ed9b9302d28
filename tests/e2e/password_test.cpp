// The "a" mode of the real saver against the MPR.DLL stand-in. Each case runs
// a copy of the saver from a folder of its own with the stand-in variant it
// needs beside it; ctest starts this group with WINEDLLOVERRIDES=mpr=n,b
// (Password.*, and PasswordOnTheRunsVersion.* in every version's entry) or
// with Wine's own MPR.DLL turned off (PasswordWithoutRouter.*).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "fixtures/standin_store.h"
#include "tests/support/fake_install.h"
#include "tests/support/host_window.h"
#include "tests/support/message_pump.h"
#include "tests/support/password_standins.h"
#include "tests/support/saver_process.h"
#include "tests/support/window_host.h"

namespace {

const DWORD kRejected = 0xFFFFFFFF;

// kubotrax.scr copied into a temporary folder, with the MPR.DLL of a stand-in
// variant beside it, or none.
class SaverCopy {
public:
    explicit SaverCopy(const char* routerVariant)
    {
        path_ = folder_.Path() + "\\kubotrax.scr";
        CopyFileA(SaverPath().c_str(), path_.c_str(), FALSE);
        if (routerVariant)
            CopyFileA((FixtureFolder(routerVariant) + "\\MPR.DLL").c_str(),
                      (folder_.Path() + "\\MPR.DLL").c_str(), FALSE);
    }
    const std::string& Path() const { return path_; }

private:
    TempFolder folder_;
    std::string path_;
};

class Password : public ::testing::Test {
protected:
    StandInStore store_;
    HostWindow host_;
};

TEST_F(Password, ChangeRunsTheRoutersDialogOwnedByTheNamedWindow)
{
    EmulatedWindowsVersion emulation("win98");
    SaverCopy copy("mpr");
    // Numbers other than the two zeros the saver passes, so that a missing write shows.
    WriteStandInNumber(STANDIN_CHANGE_FLAGS_VALUE, 0xAAAA);
    WriteStandInNumber(STANDIN_CHANGE_INFO_VALUE, 0xBBBB);
    SaverProcess saver("/a " + host_.Handle(), false, copy.Path());
    ASSERT_TRUE(saver.Started());
    HWND dialog = WaitForDialog(saver.Id(), STANDIN_CHANGE_CAPTION, 10000);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(host_.Get(), GetWindow(dialog, GW_OWNER));
    AnswerDialog(dialog, {{{IDC_STANDIN_NEW_PASSWORD, "hunter2"}, {IDC_STANDIN_REPEAT_PASSWORD, "hunter2"}},
                          IDOK});
    ASSERT_TRUE(saver.WaitPumpingMessages(20000));
    EXPECT_EQ(0u, saver.ExitCode());
    EXPECT_EQ("SCRSAVE", store_.Text(STANDIN_CHANGE_PROVIDER_VALUE));
    EXPECT_EQ(host_.Value(), store_.Number(STANDIN_CHANGE_OWNER_VALUE));
    EXPECT_EQ(0u, store_.Number(STANDIN_CHANGE_FLAGS_VALUE));
    EXPECT_EQ(0u, store_.Number(STANDIN_CHANGE_INFO_VALUE));
    EXPECT_EQ("hunter2", store_.Text(STANDIN_PASSWORD_VALUE));
    // Loaded for the change and freed again before the process ended.
    EXPECT_EQ(1u, store_.Number(STANDIN_CHANGE_LOADS_VALUE));
    EXPECT_EQ(1u, store_.Number(STANDIN_CHANGE_UNLOADS_VALUE));
}

TEST_F(Password, ChangeWithoutAUsableWindowIsOwnedByTheForegroundWindow)
{
    EmulatedWindowsVersion emulation("win98");
    SaverCopy copy("mpr");
    HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    const std::string goneHandle = HandleText(gone);
    DestroyWindow(gone);
    for (const std::string& tail : {std::string("/a"), std::string("/a 0"), std::string("-A   0"),
                                    "/a " + goneHandle, std::string("/a x")}) {
        SCOPED_TRACE("tail: \"" + tail + '"');
        ASSERT_TRUE(MakeForegroundWindow(host_.Get(), 10000));
        SaverProcess saver(tail, false, copy.Path());
        ASSERT_TRUE(saver.Started());
        HWND dialog = WaitForDialog(saver.Id(), STANDIN_CHANGE_CAPTION, 10000);
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ(host_.Get(), GetWindow(dialog, GW_OWNER));
        AnswerDialog(dialog, {{}, IDCANCEL});
        ASSERT_TRUE(saver.WaitPumpingMessages(20000));
        EXPECT_EQ(0u, saver.ExitCode());
        EXPECT_EQ(host_.Value(), store_.Number(STANDIN_CHANGE_OWNER_VALUE));
    }
    EXPECT_EQ("", store_.Text(STANDIN_PASSWORD_VALUE)) << "cancelled: nothing stored";
}

TEST_F(Password, ChangeNamingAHungWindowIsOwnedByTheForegroundWindow)
{
    EmulatedWindowsVersion emulation("win98");
    SaverCopy copy("mpr");
    WindowHost hung("hung");
    ASSERT_NE(nullptr, hung.Window());
    ASSERT_TRUE(MakeForegroundWindow(host_.Get(), 10000));
    SaverProcess saver("/a " + hung.Handle(), false, copy.Path());
    HWND dialog = WaitForDialog(saver.Id(), STANDIN_CHANGE_CAPTION, 20000);
    ASSERT_NE(nullptr, dialog) << "the change hung on its owner";
    EXPECT_EQ(host_.Get(), GetWindow(dialog, GW_OWNER));
    AnswerDialog(dialog, {{}, IDCANCEL});
    ASSERT_TRUE(saver.WaitPumpingMessages(20000));
    EXPECT_EQ(0u, saver.ExitCode());
}

TEST_F(Password, ChangeEndsWithZeroWhenTheRouterLacksTheEntry)
{
    EmulatedWindowsVersion emulation("win98");
    SaverCopy copy("mpr_without_entry");
    SaverProcess saver("/a " + host_.Handle(), false, copy.Path());
    ASSERT_TRUE(saver.WaitPumpingMessages(20000));
    EXPECT_EQ(0u, saver.ExitCode());
    EXPECT_EQ(1u, store_.Number(STANDIN_CHANGE_LOADS_VALUE));
    EXPECT_EQ(1u, store_.Number(STANDIN_CHANGE_UNLOADS_VALUE));
    EXPECT_EQ("", store_.Text(STANDIN_CHANGE_PROVIDER_VALUE));
}

// Under the run's Windows version rather than a version of its own: the
// change dialog on Windows 95/98, a refusal that loads nothing on NT.
using PasswordOnTheRunsVersion = Password;

TEST_F(PasswordOnTheRunsVersion, ChangeRunsOnlyOnWindows9x)
{
    SaverCopy copy("mpr");
    SaverProcess saver("/a " + host_.Handle(), false, copy.Path());
    ASSERT_TRUE(saver.Started());
    if (RunIsWindows9x()) {
        HWND dialog = WaitForDialog(saver.Id(), STANDIN_CHANGE_CAPTION, 10000);
        ASSERT_NE(nullptr, dialog) << "is WINEDLLOVERRIDES=mpr=n,b set?";
        AnswerDialog(dialog, {{}, IDCANCEL});
    }
    ASSERT_TRUE(saver.WaitPumpingMessages(20000));
    EXPECT_EQ(RunIsWindows9x() ? 0u : kRejected, saver.ExitCode());
    EXPECT_EQ(RunIsWindows9x() ? 1u : 0u, store_.Number(STANDIN_CHANGE_LOADS_VALUE));
    EXPECT_EQ(store_.Number(STANDIN_CHANGE_LOADS_VALUE), store_.Number(STANDIN_CHANGE_UNLOADS_VALUE));
}

TEST(PasswordWithoutRouter, ChangeEndsWithZeroAndShowsNothing)
{
    StandInStore store;
    HostWindow host;
    EmulatedWindowsVersion emulation("win98");
    SaverCopy copy(nullptr);
    SaverProcess saver("/a " + host.Handle(), false, copy.Path());
    ASSERT_TRUE(saver.WaitPumpingMessages(20000));
    EXPECT_EQ(0u, saver.ExitCode());
    EXPECT_EQ(0u, store.Number(STANDIN_CHANGE_LOADS_VALUE));
}

}  // namespace
