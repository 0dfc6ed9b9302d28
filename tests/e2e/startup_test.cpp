#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/fake_install.h"
#include "tests/support/host_window.h"
#include "tests/support/saver_process.h"
#include "tests/support/setup_dialog.h"
#include "tests/support/window_host.h"

namespace {

const DWORD kRejected = 0xFFFFFFFF;

TEST(Startup, RejectedTailsEndWithMinusOne)
{
    HostWindow host(WS_POPUP);
    const std::string tails[] = {
        "/x", "/?", "1", "-t", "/\ts", "\xE9", "/\x80", "?s",
        "/p", "/p 0", "/p abc", "/p:" + host.Handle(), "/p\t" + host.Handle(),
        "/l", "/L 0", "/p 4294967295",
    };
    for (const std::string& tail : tails) {
        SCOPED_TRACE("tail: \"" + tail + '"');
        SaverProcess saver(tail, true);
        ASSERT_TRUE(saver.Started());
        // Looked at as the saver enters ExitProcess: a window it made would
        // still stand there, while after the end none can be seen.
        std::vector<HWND> windows;
        saver.SetExitObserver([&] { windows = TopLevelWindowsOf(saver.Id()); });
        ASSERT_TRUE(saver.Wait(20000));
        EXPECT_EQ(kRejected, saver.ExitCode());
        ASSERT_TRUE(saver.ExitObserved());
        EXPECT_TRUE(windows.empty()) << windows.size() << " windows";
    }
}

// A game installation for the configuration dialog to open with.
class DialogInstall {
public:
    DialogInstall()
    {
        folder_.WriteFile("kubo.ini", RealisticKuboIni(folder_.Path(), ""));
        key_.SetPath(folder_.Path());
    }

private:
    TempFolder folder_;
    InstallKey key_;
};

// Opens the dialog, cancels it, and gives the window that owned it.
HWND DialogOwnerFor(const std::string& tail)
{
    SaverProcess saver(tail);
    HWND dialog = WaitForSetupDialog(saver.Id(), 20000);
    if (!dialog) {
        ADD_FAILURE() << "no dialog for \"" << tail << '"';
        return nullptr;
    }
    HWND owner = GetWindow(dialog, GW_OWNER);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(saver.Wait(20000));
    EXPECT_EQ(0u, saver.ExitCode());
    return owner;
}

TEST(Startup, AHungWindowOnTheCommandLineCountsAsNoWindow)
{
    DialogInstall install;
    WindowHost hung("hung");
    ASSERT_NE(nullptr, hung.Window());
    // Each start waits out the 3 s on its own: side by side, they take 3 s.
    SaverProcess preview("/p " + hung.Handle());
    ASSERT_TRUE(preview.Started());
    EXPECT_NE(hung.Window(), DialogOwnerFor("/c:" + hung.Handle()));
    ASSERT_TRUE(preview.Wait(20000));
    EXPECT_EQ(kRejected, preview.ExitCode());
}

TEST(Startup, AHungForegroundWindowOwnsNoDialog)
{
    DialogInstall install;
    WindowHost hung("hung-foreground");
    ASSERT_NE(nullptr, hung.Window());
    const DWORD start = GetTickCount();
    while (GetForegroundWindow() != hung.Window() && GetTickCount() - start < 10000)
        Sleep(20);
    ASSERT_EQ(hung.Window(), GetForegroundWindow());
    EXPECT_EQ(nullptr, DialogOwnerFor("/c"));
}

TEST(SaverImage, CarriesItsTitleAndVersion)
{
    const std::string path = SaverPath();
    HMODULE image = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image);
    char title[64] = "";
    EXPECT_EQ(9, LoadStringA(image, 1, title, sizeof title));
    EXPECT_STREQ("KUBO TRAX", title);
    FreeLibrary(image);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, &block[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(MAKELONG(2, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(2, 1), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwProductVersionLS);
    char* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(&block[0], "\\StringFileInfo\\080904E4\\SpecialBuild",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ("Final", text);
    ASSERT_TRUE(VerQueryValueA(&block[0], "\\StringFileInfo\\080904E4\\FileVersion",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ("1, 2, 0, 1", text);
}

}  // namespace
