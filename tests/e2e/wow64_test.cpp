// 64-bit Windows, where the saver and the game are 32-bit programs among
// 64-bit ones. Its entry (KUBO_64BIT_WINDOWS, in the 64-bit Wine prefix) runs
// the modes and the game's run through a 64-bit launcher with the other
// groups' tests; these show what those do not.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/game_install.h"
#include "tests/support/saver_process.h"

namespace {

bool Said(const SaverProcess& saver, const std::string& line)
{
    const std::vector<std::string>& said = saver.DebugStrings();
    return std::find(said.begin(), said.end(), line) != said.end();
}

// A field report tells 64-bit Windows from 32-bit by the line after the
// saver's Windows version.
TEST(Wow64, TheSaverSaysWhenItRunsOn64BitWindows)
{
    SaverProcess saver("/x", true);
    ASSERT_TRUE(saver.Wait(20000));
    const std::vector<std::string>& said = saver.DebugStrings();
    const auto version = std::find_if(said.begin(), said.end(), [](const std::string& line) {
        return line.rfind("kubotrax: Windows NT family, version ", 0) == 0;
    });
    ASSERT_TRUE(version != said.end() && version + 1 != said.end());
    EXPECT_EQ(RunIs64BitWindows(), version[1] == "kubotrax: 32-bit program on 64-bit Windows (WOW64)\n")
        << version[1];
}

// A 64-bit program's window on the saver's desktop, with the focus.
class FocusedWindow64 {
public:
    explicit FocusedWindow64(const std::string& log)
    {
        std::string commandLine = "\"" + Launcher64Path() + "\" --focus \"" + log + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.lpDesktop = const_cast<char*>("WinSta0\\Screen-saver");
        PROCESS_INFORMATION info = {};
        if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            id_ = info.dwProcessId;
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
    ~FocusedWindow64() { EndProcess(id_); }
    FocusedWindow64(const FocusedWindow64&) = delete;
    FocusedWindow64& operator=(const FocusedWindow64&) = delete;

private:
    DWORD id_ = 0;
};

// The watch's low-level hooks see the player's key while a 64-bit program's
// window has the focus, where a 32-bit hook of another kind would see nothing.
TEST(Wow64, TheWatchSeesAKeyWhileA64BitWindowHasTheFocus)
{
    if (!RunIs64BitWindows())
        GTEST_SKIP() << "for 64-bit Windows";
    GameInstall install;
    install.MakeGameWindowless();
    SaverProcess saver("/s", true, SaverPath(), "WinSta0\\Screen-saver");
    ASSERT_FALSE(RecordWhileSaverRuns(install, saver, 20000).empty()) << "the game did not start";
    const std::string log = install.TempPath() + "\\window64.log";
    FocusedWindow64 window(log);
    const DWORD start = GetTickCount();
    while (ReadAll(log).empty() && GetTickCount() - start < 20000)
        ASSERT_FALSE(saver.Wait(20)) << "the saver ended without the player";
    ASSERT_EQ("focus\n", ReadAll(log)) << "the 64-bit window did not get the focus";
    ASSERT_EQ(2u, Play(saver, "Screen-saver", ShiftKey()));
    EXPECT_TRUE(saver.Wait(20000)) << "the run went on after the key";
    EXPECT_EQ("focus\nkey\n", ReadAll(log)) << "the key did not reach the 64-bit window";
    for (const char* line :
         {"kubotrax: input watch: low-level hooks on a thread of their own; injected input counts as the player's\n",
          "kubotrax: player input: a key\n"})
        EXPECT_TRUE(Said(saver, line)) << line;
}

}  // namespace
