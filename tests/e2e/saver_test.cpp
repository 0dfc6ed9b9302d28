#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "tests/support/fake_install.h"
#include "tests/support/game_install.h"
#include "tests/support/host_window.h"
#include "tests/support/message_pump.h"
#include "tests/support/password_standins.h"
#include "tests/support/pixels.h"
#include "tests/support/preview_host.h"
#include "tests/support/saver_process.h"
#include "tests/support/setup_dialog.h"
#include "tests/support/window_host.h"
#include "tests/support/windows_entries.h"

namespace {

// The NT family counts the saver's process as the running screen saver (its
// password lock, its idle timer, its desktop on every monitor): there the
// game runs on the saver's desktop, in the idle class the system runs savers
// in, and the saver stays until it ends. Windows 95/98 leave the screen to
// the game at once.
TEST(SaverMode, StartsTheGameQuotedOnItsDesktopAndStaysWithIt)
{
    GameInstall install("Game.exe");
    SaverProcess saver("/s", true, SaverPath(), "WinSta0\\Screen-saver", nullptr, IDLE_PRIORITY_CLASS);
    const std::string record = RecordWhileSaverRuns(install, saver, 20000);
    ASSERT_FALSE(record.empty()) << "the game did not start";
    if (RunIsWindows9x()) {
        ASSERT_TRUE(saver.Wait(20000));
        EXPECT_EQ(0u, saver.ExitCode());
        EXPECT_TRUE(GameInstall::StillRunning(record)) << "the saver ended first, the game runs on";
    } else {
        EXPECT_FALSE(saver.Wait(500)) << "the saver left its game";
        EXPECT_EQ(std::to_string(IDLE_PRIORITY_CLASS), GameInstall::Value(record, "priority"));
        install.EndGame();
        ASSERT_TRUE(saver.Wait(20000)) << "the saver outlived its game";
        EXPECT_EQ(0u, saver.ExitCode());
    }
    EXPECT_NE(std::string::npos, record.find(" -s")) << record;
    EXPECT_NE(std::string::npos, record.find("layout=SaveGame\\castle.sav")) << record;
    EXPECT_NE(std::string::npos, record.find("random=1")) << record;
    // Shown normally, as the saver asked: STARTF_USESHOWWINDOW with SW_SHOWNORMAL.
    EXPECT_EQ("1", GameInstall::Value(record, "startflags")) << record;
    EXPECT_EQ("1", GameInstall::Value(record, "showwindow")) << record;
    EXPECT_EQ("Screen-saver", GameInstall::Value(record, "desktop"));
    EXPECT_EQ("", install.RecordIn(install.TempPath(), 0)) << "the decoy ran";

    const std::string expected = "\"" + install.Directory() + "\\Game.exe\" -s";
    const std::vector<std::string>& traces = saver.DebugStrings();
    auto line = std::find(traces.begin(), traces.end(), expected);
    ASSERT_NE(traces.end(), line) << "no trace of " << expected;
    ASSERT_NE(traces.end(), line + 1);
    EXPECT_EQ("\n", *(line + 1));
    EXPECT_NE(traces.end(), std::find(traces.begin(), line, "WM_CREATE\n"));
}

// A game that hands over to a process of its own and ends (a launcher, a
// compatibility wrapper, a game restarting itself) is still the game: the run
// follows what it started. Windows 95/98 hand it over as any game; NT 4.0,
// which has no jobs to say what the game started, follows the launcher alone.
TEST(SaverMode, AGameStartedThroughALauncherIsTheRun)
{
    GameInstall install;
    install.MakeGameALauncher();
    SaverProcess saver("/s");
    const std::string record = install.RecordIn(install.Directory(), 20000);
    ASSERT_FALSE(record.empty()) << "the launched game did not start";
    HANDLE launcher = OpenProcess(SYNCHRONIZE, FALSE, GameInstall::LauncherId(record));
    if (launcher) {
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(launcher, 20000)) << "the launcher stayed";
        CloseHandle(launcher);
    }
    if (RunIsWindows9x() || RunLacksEntry("CreateJobObjectA")) {
        ASSERT_TRUE(saver.Wait(20000));
        EXPECT_EQ(0u, saver.ExitCode());
        EXPECT_TRUE(GameInstall::StillRunning(record)) << "the launched game did not run on";
        install.EndGame();
        return;
    }
    EXPECT_FALSE(saver.Wait(1000)) << "the saver ended with the launcher";
    install.EndGame();
    ASSERT_TRUE(saver.Wait(20000)) << "the saver outlived the launched game";
    EXPECT_EQ(0u, saver.ExitCode());
}

// However the saver is ended from outside (by the system at Ctrl+Alt+Del,
// by Task Manager, or by the job the system put it in), its game goes too,
// also one a launcher started. The game leaves the system's job where that
// job lets it, so that the job's limits are not the game's; where it may not,
// it still starts.
TEST(SaverMode, TheGameLeavesTheSaversJobAndEndsWithTheSaver)
{
    if (RunIsWindows9x())
        GTEST_SKIP() << "Windows 95/98 leave the screen to the game alone";
    if (RunLacksEntry("CreateJobObjectA"))
        GTEST_SKIP() << "NT 4.0 has no jobs to take the game along";
    struct Case { const char* how; bool launcher, inJob; DWORD moreLimits; BOOL gameInThatJob; } cases[] = {
        {"the saver killed", false, false, 0, FALSE},
        {"the saver killed, the game started through a launcher", true, false, 0, FALSE},
        {"its job ended, one that lets processes leave", false, true, JOB_OBJECT_LIMIT_BREAKAWAY_OK, FALSE},
        {"its job ended, one that keeps its processes", false, true, 0, TRUE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        GameInstall install;
        if (c.launcher)
            install.MakeGameALauncher();
        HANDLE outerJob = c.inJob ? MakeEndingJob(c.moreLimits) : nullptr;
        ASSERT_TRUE(outerJob || !c.inJob);
        SaverProcess saver("/s", false, SaverPath(), nullptr, outerJob);
        const std::string record = install.RecordIn(install.Directory(), 20000);
        ASSERT_FALSE(record.empty()) << "the game did not start";
        HANDLE game = GameInstall::OpenGame(record);
        ASSERT_NE(nullptr, game);
        if (outerJob) {
            BOOL inJob = -1;
            EXPECT_TRUE(IsProcessInJob(game, outerJob, &inJob));
            EXPECT_EQ(c.gameInThatJob, inJob);
            CloseHandle(outerJob);
        } else {
            saver.Kill();
        }
        ASSERT_TRUE(saver.Wait(20000));
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(game, 20000)) << "the game outlived its saver";
        CloseHandle(game);
    }
}

// The one box a failed start shows: captioned "KUBO TRAX", with the system's
// text for the code; the saver waits for it and ends once it is closed.
void ExpectOneStartFailureBox(SaverProcess& saver, DWORD code)
{
    HWND box = WaitForWindowOf(saver.Id(), "#32770", 15000);
    ASSERT_NE(nullptr, box);
    // The box exists a moment before it is filled in.
    char caption[64] = "";
    for (int i = 0; i < 250 && !(IsWindowVisible(box) && GetWindowTextA(box, caption, sizeof caption)); ++i)
        Sleep(20);
    EXPECT_STREQ("KUBO TRAX", caption);

    char expected[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), expected, sizeof expected, nullptr);
    std::string shown;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char text[512] = "";
        GetWindowTextA(child, text, sizeof text);
        shown += text;
    }
    EXPECT_NE(std::string::npos, shown.find(expected)) << "shown: " << shown;
    // MB_OK and nothing else: one OK button, no icon; and no owner, so the
    // half-made saver window that is being refused takes it nowhere.
    std::vector<int> buttons;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = "";
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, "Button") == 0 && IsWindowVisible(child))
            buttons.push_back(GetDlgCtrlID(child));
        if (lstrcmpiA(name, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            EXPECT_EQ(0, SendMessageA(child, STM_GETICON, 0, 0)) << "the box shows an icon";
        }
    }
    EXPECT_EQ(std::vector<int>{IDOK}, buttons);
    EXPECT_EQ(nullptr, GetWindow(box, GW_OWNER));

    int boxes = 0;
    for (HWND window : TopLevelWindowsOf(saver.Id())) {
        char name[64] = "";
        GetClassNameA(window, name, sizeof name);
        boxes += std::string(name) == "#32770";
    }
    EXPECT_EQ(1, boxes);
    EXPECT_FALSE(saver.Wait(300)) << "the saver must wait for the box";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(saver.Wait(10000));
}

TEST(SaverMode, MissingGameShowsOneMessageBox)
{
    GameInstall install(nullptr, false);
    SaverProcess saver("/s");
    ExpectOneStartFailureBox(saver, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ("", install.RecordIn(install.TempPath(), 0)) << "the decoy ran";
}

TEST(SaverMode, AnExeNameThatMayBeCutOrEndsTheQuoteIsNotStarted)
{
    // Cut to 127 characters the name would run the program beside it.
    const std::string cut(127, 'A');
    const std::string tooLong = cut + "BBBB.exe";
    GameInstall install(tooLong.c_str(), false);
    ASSERT_TRUE(CopyFileA(StandInGamePath().c_str(), (install.Directory() + "\\" + cut + ".exe").c_str(), FALSE));
    SaverProcess saver("/s");
    ExpectOneStartFailureBox(saver, ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ("", install.RecordIn(install.Directory(), 0)) << "the cut name ran";

    // A quote would end the quoted path after "<folder>\Kubo": Kubo.exe would run.
    GameInstall quoted("Kubo\" Game.exe", false);
    ASSERT_TRUE(CopyFileA(StandInGamePath().c_str(), (quoted.Directory() + "\\Kubo.exe").c_str(), FALSE));
    SaverProcess quotedSaver("/s");
    ExpectOneStartFailureBox(quotedSaver, ERROR_INVALID_NAME);
    EXPECT_EQ("", quoted.RecordIn(quoted.Directory(), 0)) << "Kubo.exe ran";

    // One character less still starts.
    const std::string fits(122, 'C');
    GameInstall fitting((fits + ".exe").c_str());
    SaverProcess fittingSaver("/s");
    EXPECT_NE(std::string::npos, fitting.RecordIn(fitting.Directory(), 20000).find(fits + ".exe\" -s"));
    fitting.EndGame();
    ASSERT_TRUE(fittingSaver.Wait(10000));
    EXPECT_EQ(0u, fittingSaver.ExitCode());
}

TEST(SaverMode, AnUnusableInstallationDirectoryStartsNothingAndShowsNothing)
{
    GameInstall install;
    // Relative to the saver's current directory the game is there to be run.
    const std::string relative = install.Directory().substr(install.TempPath().size() + 1);
    char previousDirectory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof previousDirectory, previousDirectory);
    ASSERT_TRUE(SetCurrentDirectoryA(install.TempPath().c_str()));
    InstallKey key;
    // A quote ends the quoted path early: "<temp>\Kubo" would run the decoy.
    const std::string quoted = install.TempPath() + "\\Kubo\" Trax";
    for (const std::string& directory : {std::string(""), relative, quoted}) {
        SCOPED_TRACE("directory: \"" + directory + '"');
        key.SetPath(directory);
        SaverProcess saver("/s");
        bool sawWindow = false;
        const DWORD start = GetTickCount();
        while (!saver.Wait(10) && GetTickCount() - start < 20000) {
            for (HWND window : TopLevelWindowsOf(saver.Id()))
                sawWindow = sawWindow || IsWindowVisible(window);
        }
        ASSERT_TRUE(saver.Wait(0));
        EXPECT_EQ(0u, saver.ExitCode());
        EXPECT_FALSE(sawWindow);
        EXPECT_EQ("", install.RecordIn(install.Directory(), 0)) << "the game ran";
        EXPECT_EQ("", install.RecordIn(install.TempPath(), 0)) << "the decoy ran";
        EXPECT_EQ(1u, RunSaver("/c")) << "the dialog must end as without an installation";
    }
    SetCurrentDirectoryA(previousDirectory);
}

// Under the run's Windows version: the password lock exists on Windows 95/98
// only; on NT the same switch loads nothing and the game starts all the same.
TEST(SaverMode, LoadsThePasswordProviderOnlyOnWindows9xBeforeTheGameAndUnloadsItAfter)
{
    StandInStore store;
    ScreenSavePasswordFlag flag;
    flag.SetNumber(1);
    GameInstall install;
    // The provider is found beside the saver, as LoadLibraryA looks there first.
    TempFolder saverFolder;
    const std::string saverCopy = saverFolder.Path() + "\\kubotrax.scr";
    ASSERT_TRUE(CopyFileA(SaverPath().c_str(), saverCopy.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((FixtureFolder("password_cpl") + "\\PASSWORD.CPL").c_str(),
                          (saverFolder.Path() + "\\PASSWORD.CPL").c_str(), FALSE));

    SaverProcess saver("/s", true, saverCopy);
    DWORD loadsAtLaunch = 99, unloadsAtLaunch = 99;
    saver.SetDebugStringObserver([&](const std::string& text) {
        if (text.find("\" -s") != std::string::npos) {  // the game's command line
            loadsAtLaunch = store.Number(STANDIN_PROVIDER_LOADS_VALUE);
            unloadsAtLaunch = store.Number(STANDIN_PROVIDER_UNLOADS_VALUE);
        }
    });
    EXPECT_FALSE(RecordWhileSaverRuns(install, saver, 20000).empty()) << "the game did not start";
    install.EndGame();
    ASSERT_TRUE(saver.Wait(20000));
    EXPECT_EQ(0u, saver.ExitCode());
    const DWORD loads = RunIsWindows9x() ? 1 : 0;
    EXPECT_EQ(loads, loadsAtLaunch);
    EXPECT_EQ(0u, unloadsAtLaunch);
    EXPECT_EQ(loads, store.Number(STANDIN_PROVIDER_LOADS_VALUE));
    EXPECT_EQ(loads, store.Number(STANDIN_PROVIDER_UNLOADS_VALUE));
}

// Reads what the screen shows inside a window's client area as 0xRRGGBB.
std::vector<DWORD> ReadScreen(HWND window, int width, int height)
{
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    DibCanvas canvas(width, height);
    WindowDC screen(nullptr);
    BitBlt(canvas.Dc(), 0, 0, width, height, screen.Get(), origin.x, origin.y, SRCCOPY);
    GdiFlush();
    std::vector<DWORD> pixels(canvas.Bits(), canvas.Bits() + width * height);
    for (DWORD& pixel : pixels)
        pixel &= 0xFFFFFF;
    return pixels;
}

DWORD TitlePicturePixel(int x, int y)
{
    HMODULE image = LoadLibraryExA(SaverPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const DWORD pixel = BitmapResourcePixel(image, IDB_TITLE, x, y);
    FreeLibrary(image);
    return pixel;
}

TEST(PreviewMode, PaintsThePictureStaysOnInputAndEndsWithItsParent)
{
    GameInstall install;
    for (const char* letter : {"/p ", "/l "}) {
        SCOPED_TRACE(letter);
        PreviewHost host;
        SaverProcess saver(letter + host.Handle());
        HWND preview = host.WaitForPreview(saver);
        ASSERT_NE(nullptr, preview);
        RECT placed;
        GetWindowRect(preview, &placed);
        MapWindowPoints(nullptr, host.Area(), reinterpret_cast<POINT*>(&placed), 2);
        EXPECT_EQ(0, placed.left);
        EXPECT_EQ(0, placed.top);
        EXPECT_EQ(152, placed.right);
        EXPECT_EQ(112, placed.bottom);

        // Read once the picture has reached the screen, or as it stands then.
        std::vector<DWORD> pixels;
        const DWORD pictureCorner = TitlePicturePixel(0, 0);
        PumpUntil([&] {
            pixels = ReadScreen(host.Area(), 152, 112);
            return pixels[0] == 0 && pixels[152 + 1] == pictureCorner;
        }, 10000);
        auto at = [&](int x, int y) { return pixels[y * 152 + x]; };
        EXPECT_EQ(0u, at(0, 0));
        EXPECT_EQ(0u, at(151, 0));
        EXPECT_EQ(0u, at(0, 111));
        EXPECT_EQ(TitlePicturePixel(0, 0), at(1, 1));
        EXPECT_EQ(TitlePicturePixel(150, 110), at(151, 111));
        EXPECT_EQ(TitlePicturePixel(75, 55), at(76, 56));

        // Keys, clicks and movement never close a preview. The preview hands
        // each context-menu request on to the panel, so one marks the point
        // up to which it has handled what was posted before. A close that the
        // input asked for would queue behind the first mark and end the
        // window before the second could arrive.
        SetCursorPos(10, 700);
        PostMessageA(preview, WM_KEYDOWN, 'A', 0);
        PostMessageA(preview, WM_LBUTTONDOWN, 0, 0);
        PostMessageA(preview, WM_MOUSEMOVE, 0, MAKELPARAM(90, 90));
        for (int mark = 1; mark <= 2; ++mark) {
            PostMessageA(preview, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(preview), MAKELPARAM(5, 5));
            EXPECT_TRUE(PumpUntil([&] { return PreviewHost::s_menu.count == mark; }, 5000)) << "mark " << mark;
        }
        EXPECT_FALSE(saver.Wait(0));
        EXPECT_TRUE(IsWindow(preview));
        // The context menu goes to the control panel, naming the panel's own window.
        EXPECT_EQ(reinterpret_cast<WPARAM>(host.Area()), PreviewHost::s_menu.wParam);

        // So does help.
        HELPINFO help = {};
        help.cbSize = sizeof help;
        help.iContextType = HELPINFO_WINDOW;
        EXPECT_EQ(1, SendMessageA(preview, WM_HELP, 0, reinterpret_cast<LPARAM>(&help)));
        EXPECT_EQ(1, PreviewHost::s_help.count);
        EXPECT_EQ(reinterpret_cast<WPARAM>(host.Area()), PreviewHost::s_help.wParam);

        host.DestroyArea();
        const DWORD start = GetTickCount();
        while (!saver.Wait(10) && GetTickCount() - start < 10000)
            PumpFor(10);
        ASSERT_TRUE(saver.Wait(0));
        EXPECT_EQ(0u, saver.ExitCode());
    }
}

TEST(PreviewMode, FillsItsHostAtAnyScaleAndThePictureGrowsWithTheScale)
{
    GameInstall install;
    DesktopSetting dpi("LogPixels", 144);  // the saver starts at 150 %
    PreviewHost host(228, 168);            // and so does the panel's area
    SaverProcess saver("/p " + host.Handle());
    HWND preview = host.WaitForPreview(saver);
    ASSERT_NE(nullptr, preview);
    RECT placed;
    GetWindowRect(preview, &placed);
    MapWindowPoints(nullptr, host.Area(), reinterpret_cast<POINT*>(&placed), 2);
    const RECT whole = {0, 0, 228, 168};
    EXPECT_TRUE(EqualRect(&whole, &placed));

    // The picture, 227 x 167 now, centred at (1, 1): black only along the top
    // and left edges. At its own size, where windows have no DPI of their own
    // (before Windows 10 1607), it leaves the corners black.
    const bool grows = !RunLacksEntry("GetDpiForWindow");
    std::vector<DWORD> pixels;
    auto at = [&](int x, int y) { return pixels[y * 228 + x]; };
    PumpUntil([&] {
        pixels = ReadScreen(host.Area(), 228, 168);
        return at(0, 0) == 0 && at(114, 84) != 0 && (at(227, 167) != 0) == grows;
    }, 10000);
    EXPECT_EQ(0u, at(0, 0));
    EXPECT_EQ(0u, at(227, 0));
    EXPECT_EQ(0u, at(0, 167));
    EXPECT_NE(0u, at(114, 84));
    EXPECT_EQ(grows, at(1, 1) != 0);
    EXPECT_EQ(grows, at(227, 167) != 0);

    host.DestroyArea();
    const DWORD start = GetTickCount();
    while (!saver.Wait(10) && GetTickCount() - start < 10000)
        PumpFor(10);
    EXPECT_TRUE(saver.Wait(0));
}

TEST(PreviewMode, EndsWhenItsHostIsGoneWithoutDestroyingItsWindow)
{
    enum class Gone { Killed, Exits, WindowDestroyed };
    struct Case { const char* host; Gone how; } cases[] = {
        {"answering", Gone::Killed}, {"answering", Gone::Exits}, {"message-only", Gone::Exits},
        {"answering", Gone::WindowDestroyed},  // the host lives on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + ", " + std::to_string(static_cast<int>(c.how)));
        WindowHost host(c.host);
        ASSERT_NE(nullptr, host.Window());
        SaverProcess saver("/p " + host.Handle());
        HWND preview = nullptr;
        const DWORD start = GetTickCount();
        while (!preview && !saver.Wait(20) && GetTickCount() - start < 15000)
            preview = FindWindowExA(host.Window(), nullptr, "WindowsScreenSaverClass", "Preview");
        ASSERT_NE(nullptr, preview) << "no preview came up";
        if (c.how == Gone::Killed)
            host.Kill();
        else if (c.how == Gone::Exits)
            host.ExitLeavingWindow();
        else
            host.DestroyWindowLeavingProcess();
        ASSERT_TRUE(saver.Wait(10000)) << "the preview outlived its host";
        EXPECT_EQ(0u, saver.ExitCode());
    }
}

TEST(SaverMode, ABurstOfStartsStartsOneGame)
{
    GameInstall install("BurstGame.exe");
    const std::string startLog = install.Directory() + "\\game_starts.log";
    for (size_t count : {2, 10}) {
        SCOPED_TRACE(std::to_string(count) + " starts");
        // Made suspended and let go together: as simultaneous as one machine allows.
        std::vector<PROCESS_INFORMATION> savers(count);
        for (PROCESS_INFORMATION& saver : savers) {
            std::string commandLine = "\"" + SaverPath() + "\" /s";
            STARTUPINFOA startup = {};
            startup.cb = sizeof startup;
            ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                       nullptr, nullptr, &startup, &saver));
        }
        for (PROCESS_INFORMATION& saver : savers)
            ResumeThread(saver.hThread);
        // Each game adds its line to the log as it starts. Every saver but
        // the one that started the game ends at once; that one stays with
        // its game on the NT family.
        auto linesLogged = [&] {
            const std::string log = ReadAll(startLog);
            return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
        };
        auto saversEnded = [&] {
            return static_cast<size_t>(std::count_if(savers.begin(), savers.end(), [](const PROCESS_INFORMATION& saver) {
                return WaitForSingleObject(saver.hProcess, 0) == WAIT_OBJECT_0;
            }));
        };
        const size_t endingAtOnce = RunIsWindows9x() ? count : count - 1;
        const DWORD start = GetTickCount();
        while ((saversEnded() < endingAtOnce || linesLogged() == 0) && GetTickCount() - start < 30000)
            Sleep(20);
        std::vector<DWORD> games = ProcessesNamed("BurstGame.exe");
        EXPECT_EQ(1u, games.size());
        EXPECT_EQ(1u, linesLogged());
        EXPECT_EQ(endingAtOnce, saversEnded());
        if (RunIsWindows9x()) {
            // The saver has gone; the game holds the run lock's copy, and a
            // later start starts no second game.
            EXPECT_EQ(0u, RunSaver("/s"));
            const std::vector<DWORD> before = games;
            games = ProcessesNamed("BurstGame.exe");
            EXPECT_EQ(before, games);
        }
        for (DWORD game : games)
            EndProcess(game);
        std::vector<HANDLE> processes;
        for (const PROCESS_INFORMATION& saver : savers)
            processes.push_back(saver.hProcess);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(),
                                                        TRUE, 10000));
        for (PROCESS_INFORMATION& saver : savers) {
            DWORD code = STILL_ACTIVE;
            GetExitCodeProcess(saver.hProcess, &code);
            EXPECT_EQ(0u, code);
            TerminateProcess(saver.hProcess, 0xDEAD);
            CloseHandle(saver.hThread);
            CloseHandle(saver.hProcess);
        }
        DeleteFileA(startLog.c_str());
    }
}

}  // namespace
