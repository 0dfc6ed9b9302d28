// The game's run on the NT family, where the game is the screen saver and
// only the player's input ends it. These runs wait out the saver's own
// answer to the player (3 s to end by itself, 3 s to close), so they run
// once, under the run's Windows version, not in every version's entry.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/fake_install.h"
#include "tests/support/game_install.h"
#include "tests/support/password_standins.h"
#include "tests/support/remote_patch.h"
#include "tests/support/saver_process.h"

namespace {

const char kSaverDesktop[] = "WinSta0\\Screen-saver";
const POINT kPointerAtStart = {300, 200};

// The saver's own lines ("kubotrax: ...").
std::vector<std::string> SaverLines(const SaverProcess& saver)
{
    std::vector<std::string> lines;
    for (const std::string& text : saver.DebugStrings()) {
        if (text.rfind("kubotrax: ", 0) == 0)
            lines.push_back(text);
    }
    return lines;
}

// The first of the expected beginnings that the lines do not show in this
// order; empty when all are there.
std::string FirstMissingLine(const std::vector<std::string>& lines, const std::vector<std::string>& expected)
{
    size_t next = 0;
    for (const std::string& beginning : expected) {
        while (next < lines.size() && lines[next].rfind(beginning, 0) != 0)
            ++next;
        if (next == lines.size())
            return beginning;
        ++next;
    }
    return "";
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += line;
    return all;
}

// The saver's answer to the player: a game that ignores the input is ended
// (exit code 1) within 15 s of it; one with windows has them asked to close
// first, its visible ones only, and has 2.5 s at least before the request
// and again before its end, to end by itself. The saver then ends with 0.
void ExpectInputEndsTheRun(const GameInstall& install, SaverProcess& saver, HANDLE game,
                           const std::function<void()>& giveInput, bool gameHasWindows = true)
{
    // Taken before the input is sent and compared with when the saver sent
    // its request: however late either side comes to run, the gap is not
    // measured smaller than it was.
    const DWORD inputTick = GetTickCount();
    ASSERT_NO_FATAL_FAILURE(giveInput());
    const auto running = [&] { return WaitForSingleObject(game, 0) == WAIT_TIMEOUT; };
    if (gameHasWindows) {
        const std::string request = "WM_CLOSE ";
        std::string requests;
        while ((requests = install.CloseRequests()).find(request) == std::string::npos && running() &&
               GetTickCount() - inputTick < 15000)
            saver.Wait(20);
        const size_t at = requests.find(request);
        ASSERT_NE(std::string::npos, at) << "the game was not asked to close";
        const DWORD closeTick = std::stoul(requests.substr(at + request.size()));
        EXPECT_GE(static_cast<LONG>(closeTick - inputTick), 2500) << "asked to close too soon after the input\n"
                                                                  << Joined(SaverLines(saver));
        while (static_cast<LONG>(GetTickCount() - closeTick) < 2500) {
            ASSERT_TRUE(running()) << "ended too soon after the request to close";
            saver.Wait(20);
        }
    }
    while (running() && GetTickCount() - inputTick < 15000)
        saver.Wait(20);
    DWORD gameExit = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(game, &gameExit));
    EXPECT_EQ(1u, gameExit) << "the saver did not end the game within 15 s of the input";
    if (gameHasWindows) {
        EXPECT_EQ(std::string::npos, install.CloseRequests().find("hidden")) << "a hidden window was asked to close";
    }
    ASSERT_TRUE(saver.Wait(20000)) << "the saver outlived its game";
    EXPECT_EQ(0u, saver.ExitCode());
}

void ExpectInputEndsTheRun(const GameInstall& install, SaverProcess& saver, HANDLE game,
                           const std::vector<INPUT>& input, bool gameHasWindows = true)
{
    ExpectInputEndsTheRun(
        install, saver, game, [&] { ASSERT_EQ(input.size(), Play(saver, "Screen-saver", input, 20)); },
        gameHasWindows);
}

// Waits, handling the saver's debug events, until the game has written down
// what it did to the pointer ("pointer taken"), and returns that.
std::string AwaitGameEvents(const GameInstall& install, SaverProcess& saver)
{
    for (const DWORD start = GetTickCount(); install.GameEvents().empty() && GetTickCount() - start < 10000;) {
        if (saver.Wait(20))
            break;  // the caller's check of the events says what went wrong
    }
    return install.GameEvents();
}

// Handles the saver's debug events for a while, failing when it ends.
void KeepRunning(SaverProcess& saver, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms)
        ASSERT_FALSE(saver.Wait(20)) << "the saver ended without the player";
}

// A game that ignores input and every request to close, started through a
// launcher on the saver's desktop, that puts the pointer where it wants it
// once its window shows. The game's move, a mouse jittering by 2 pixels on
// the desk and the game's window appearing under the pointer (which Wine
// counts as input) are not the player; a key is. All the while the saver
// says what it decides, and never which key.
TEST(SaverRun, OnlyThePlayersInputEndsAStubbornLaunchedGameAndTheSaverSaysWhatItDecides)
{
    if (RunIsWindows9x())
        GTEST_SKIP() << "Windows 95/98 hand the screen to the game";
    GameInstall install;
    install.MakeGameStubborn();
    install.MakeGameALauncher();
    install.MakeGameTakeThePointer();
    PlacePointer(kPointerAtStart);
    SaverProcess saver("/s", true, SaverPath(), kSaverDesktop, nullptr, IDLE_PRIORITY_CLASS);
    const std::string record = RecordWhileSaverRuns(install, saver, 20000);
    ASSERT_FALSE(record.empty()) << "the launched game did not start";
    HANDLE game = GameInstall::OpenGame(record);
    ASSERT_NE(nullptr, game);
    ASSERT_EQ("pointer taken\n", AwaitGameEvents(install, saver));
    KeepRunning(saver, 2000);
    EXPECT_EQ(4u, Play(saver, "Screen-saver", PointerMoves({2, -2, 2, -2}), 50));
    KeepRunning(saver, 8000);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(game, 0)) << "the game was ended";
    EXPECT_EQ("", install.CloseRequests()) << "asked to close without input";
    ExpectInputEndsTheRun(install, saver, game, ShiftKey());
    CloseHandle(game);
    // The launcher asked to leave the saver's job, as crash reporters do; no
    // process of the game may leave it.
    EXPECT_NE(std::string::npos, record.find("--breakaway=refused-5")) << record;

    const std::vector<std::string> lines = SaverLines(saver);
    EXPECT_EQ("", FirstMissingLine(lines, {
        "kubotrax: mode saver (command line \"/s\")\n",
        "kubotrax: Windows NT family, version ",
        "kubotrax: game command line: \"" + install.Directory() + "\\TRAX.exe\" -s\n",
        "kubotrax: input watch: low-level hooks on a thread of their own; injected input counts as the player's\n",
        "kubotrax: input watch reads the pointer in physical pixels (per-monitor aware thread)\n",
        "kubotrax: game priority class: idle\n",
        "kubotrax: game desktop: WinSta0\\Screen-saver\n",
        "kubotrax: road: own job (holds everything the game starts, from its creation)\n",
        // Before it the launcher's, unless the launcher had ended first.
        "kubotrax: following game process " + std::to_string(GameInstall::GameId(record)) + "\n",
        "kubotrax: player input: a key\n",
        "kubotrax: asked the game's windows to close, 3",
        "kubotrax: ended the game, 6",
        "kubotrax: run over, nothing of the game runs\n",
        "kubotrax: exit code 0\n",
    })) << Joined(lines);
    for (std::string line : lines) {
        CharLowerA(&line[0]);
        EXPECT_EQ(std::string::npos, line.find("shift")) << "a line names the key: " << line;
    }
}

// A player's own mouse reaches Wine from the X server, which Wine hears only
// over its own windows: until the game's window appears under the pointer,
// Wine's idea of the pointer is stale. Neither that window nor the stale
// idea is the player; nor is a jitter on the desk, while the game puts the
// pointer back in the middle of the screen every 10 ms. A steady move is,
// however often the game puts the pointer back.
// The saver runs from a downloads folder, as a player tries it before
// installing it, with a shcore.dll planted beside it and in its current
// folder, and as on Windows 8.1 (no per-thread DPI call), so that it asks
// shcore.dll for the process's awareness: only the system's own answers.
TEST(SaverRun, TheHandFromTheXSideEndsTheRunNotAStalePointerNorAGameCentringIt)
{
    if (RunIsWindows9x())
        GTEST_SKIP() << "Windows 95/98 hand the screen to the game";
    GameInstall install;
    install.MakeGameStubborn();
    install.MakeGameCentreThePointer();
    TempFolder beside, current;
    const std::string saverCopy = beside.Path() + "\\kubotrax.scr";
    ASSERT_TRUE(CopyFileA(SaverPath().c_str(), saverCopy.c_str(), FALSE));
    for (const TempFolder* folder : {&beside, &current}) {
        ASSERT_TRUE(CopyFileA((FixtureFolder("planted") + "\\shcore.dll").c_str(),
                              (folder->Path() + "\\shcore.dll").c_str(), FALSE));
    }
    PlacePointer(kPointerAtStart);                  // where Wine has it
    ASSERT_TRUE(FromTheXSide("mousemove 700 520"));  // where the X server has it
    char ours[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, ours);
    SetCurrentDirectoryA(current.Path().c_str());  // the saver's, from its start
    SaverProcess saver("/s", true, saverCopy, kSaverDesktop);
    SetCurrentDirectoryA(ours);
    saver.PatchAtStart([&] { return HideEntries(saver.Handle(), saver.Image(), {"SetThreadDpiAwarenessContext"}); });
    const std::string record = RecordWhileSaverRuns(install, saver, 20000);
    ASSERT_EQ("", saver.PatchOutcome());
    ASSERT_FALSE(record.empty()) << "the game did not start";
    HANDLE game = GameInstall::OpenGame(record);
    ASSERT_NE(nullptr, game);
    ASSERT_EQ("pointer centred\n", AwaitGameEvents(install, saver));
    KeepRunning(saver, 2000);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(FromTheXSide("mousemove_relative -- 2 0"));
        ASSERT_TRUE(FromTheXSide("mousemove_relative -- -2 0"));
    }
    KeepRunning(saver, 3000);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(game, 0)) << "the game was ended";
    EXPECT_EQ("", install.CloseRequests()) << "asked to close without input\n" << Joined(SaverLines(saver));
    ExpectInputEndsTheRun(install, saver, game, [] {
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(FromTheXSide("mousemove_relative -- 3 0"));
    });
    CloseHandle(game);
    EXPECT_EQ("", FirstMissingLine(SaverLines(saver), {
        "kubotrax: input watch reads the pointer in physical pixels (per-monitor aware process)\n",
        "kubotrax: player input: a move of ",
    })) << Joined(SaverLines(saver));
    for (const TempFolder* folder : {&beside, &current})
        EXPECT_EQ("", ReadAll(folder->Path() + "\\planted_loads.log")) << "loaded from " << folder->Path();
}

// A game with no window of its own, started on the saver's desktop with the
// pointer at kPointerAtStart; the record it wrote, and a handle to it.
struct WindowlessRun {
    GameInstall install;
    std::string record;
    HANDLE game = nullptr;
    WindowlessRun() { install.MakeGameWindowless(); PlacePointer(kPointerAtStart); }
    ~WindowlessRun() { if (game) CloseHandle(game); }
    void AwaitGame(SaverProcess& saver)
    {
        record = RecordWhileSaverRuns(install, saver, 20000);
        ASSERT_FALSE(record.empty()) << "the game did not start";
        game = GameInstall::OpenGame(record);
        ASSERT_NE(nullptr, game);
    }
};

// One jump of the pointer is the player (a touch screen, a remote control, a
// quick flick reported as one event), measured from where the pointer was
// when the watch began. The game was started through a launcher that has
// long gone, and the own job's list of processes cannot be read (a query
// error, no memory, a list that keeps growing): that never reads as a game
// that ended. The run lasts, and the jump ends the game, which has no window
// to ask, through the job as a whole.
TEST(SaverRun, OneJumpOfThePointerIsThePlayerAndAnUnreadableJobListNeverEndsTheRun)
{
    if (RunIsWindows9x())
        GTEST_SKIP() << "Windows 95/98 hand the screen to the game";
    WindowlessRun run;
    run.install.MakeGameALauncher();
    SaverProcess saver("/s", true, SaverPath(), kSaverDesktop);
    saver.PatchAtStart([&] {
        return RefuseEntry(saver.Handle(), "kernel32.dll", "QueryInformationJobObject", ERROR_ACCESS_DENIED, 20);
    });
    ASSERT_NO_FATAL_FAILURE(run.AwaitGame(saver));
    ASSERT_EQ("", saver.PatchOutcome());
    KeepRunning(saver, 2000);  // the launcher ended long before
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(run.game, 0)) << "the game was ended";
    ExpectInputEndsTheRun(run.install, saver, run.game, PointerJumpTo({kPointerAtStart.x + 40, kPointerAtStart.y}),
                          false);
    EXPECT_EQ("", FirstMissingLine(SaverLines(saver), {"kubotrax: player input: a move of 40 pixels\n"}))
        << Joined(SaverLines(saver));
}

// The watch never waits for the saver's own thread: here that thread sits in
// the game's start (as behind a virus scan or a disk spinning up) while the
// player's hand drifts a pixel at a time. The drift adds up, and the run ends
// once the game runs.
TEST(SaverRun, TheWatchSeesThePlayerWhileTheGamesStartHoldsTheSaver)
{
    if (RunIsWindows9x())
        GTEST_SKIP() << "Windows 95/98 hand the screen to the game";
    WindowlessRun run;
    SaverProcess saver("/s", true, SaverPath(), kSaverDesktop);
    saver.PatchAtStart([&] { return DelayEntry(saver.Handle(), "kernel32.dll", "CreateProcessA", 5000); });
    const std::string watching =
        "kubotrax: input watch: low-level hooks on a thread of their own; injected input counts as the player's\n";
    const DWORD start = GetTickCount();
    while (FirstMissingLine(SaverLines(saver), {watching}) != "" && GetTickCount() - start < 20000)
        ASSERT_FALSE(saver.Wait(20)) << "the saver ended before its watch began";
    ASSERT_EQ("", saver.PatchOutcome());
    ASSERT_EQ(6u, Play(saver, "Screen-saver", PointerMoves({1, 1, 1, 1, 1, 1}), 100));
    EXPECT_NE("", FirstMissingLine(SaverLines(saver), {"kubotrax: game priority class: "}))
        << "the game started before the player's hand was done";
    ASSERT_NO_FATAL_FAILURE(run.AwaitGame(saver));
    ExpectInputEndsTheRun(run.install, saver, run.game, std::vector<INPUT>(), false);
    EXPECT_EQ("", FirstMissingLine(SaverLines(saver), {"kubotrax: player input: a move of 5 pixels\n"}))
        << Joined(SaverLines(saver));
}

// A program of the user's in the job the system started the saver in: the
// stand-in game in a folder of its own, stubborn, so that a request to close
// it would be written down, with its window on the saver's desktop, where
// the saver could ask it.
class Bystander {
public:
    Bystander()
    {
        CopyFileA(StandInGamePath().c_str(), (folder_.Path() + "\\Bystander.exe").c_str(), FALSE);
        folder_.WriteFile("kubo.ini", "[StandInGame]\r\nStubborn=1\r\n");
    }
    ~Bystander()
    {
        if (info_.hProcess) {
            TerminateProcess(info_.hProcess, 0);
            WaitForSingleObject(info_.hProcess, 5000);
            CloseHandle(info_.hProcess);
            CloseHandle(info_.hThread);
        }
    }
    Bystander(const Bystander&) = delete;
    Bystander& operator=(const Bystander&) = delete;

    // Starts it in the job; true once its window is up.
    bool StartIn(HANDLE job)
    {
        std::string commandLine = "\"" + folder_.Path() + "\\Bystander.exe\" -s";
        char desktopName[] = "WinSta0\\Screen-saver";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.lpDesktop = desktopName;
        if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                            &startup, &info_))
            return false;
        const BOOL assigned = AssignProcessToJobObject(job, info_.hProcess);
        ResumeThread(info_.hThread);
        HDESK desktop = OpenDesktopA("Screen-saver", 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE);
        for (const DWORD start = GetTickCount(); desktop && !shown_ && GetTickCount() - start < 20000; Sleep(20))
            EnumDesktopWindows(desktop, FindVisibleWindow, reinterpret_cast<LPARAM>(this));
        if (desktop)
            CloseDesktop(desktop);
        return assigned && shown_;
    }
    bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    std::string CloseRequests() const { return ReadAll(folder_.Path() + "\\game_close_requests.log"); }

private:
    static BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM context)
    {
        auto* self = reinterpret_cast<Bystander*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        // IsWindowVisible answers for this desktop only.
        const bool visible = (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
        self->shown_ = self->shown_ || (owner == self->info_.dwProcessId && visible);
        return TRUE;
    }

    TempFolder folder_;
    PROCESS_INFORMATION info_ = {};
    bool shown_ = false;
};

// Windows 7 refuses a second job and cannot create a process inside one, so
// the game stays in the job the system started the saver in, and that job
// says what the game is: the process the saver started and what descends
// from it, even through a helper that ended before the run saw it. What else
// runs there, from before the game or joining later, is neither waited for
// nor touched. This desktop also refuses hooks: the watch looks at the
// system in turn instead, where a jitter is not the player and a key is.
TEST(SaverRun, InTheSaversJobTheGameIsWhatTheSaverStartedAndItsDescendants)
{
    if (RunIsWindows9x())
        GTEST_SKIP() << "Windows 95/98 hand the screen to the game";
    HANDLE outerJob = MakeEndingJob(0);  // lets no process leave it
    ASSERT_NE(nullptr, outerJob);
    Bystander before, after;
    ASSERT_TRUE(before.StartIn(outerJob));
    GameInstall install;
    install.MakeGameStubborn();
    install.MakeGameALauncher();
    install.MakeLauncherUseAHelper();
    PlacePointer(kPointerAtStart);
    SaverProcess saver("/s", true, SaverPath(), kSaverDesktop, outerJob);
    saver.PatchAtStart([&] {
        return RefuseEntry(saver.Handle(), "kernel32.dll", "AssignProcessToJobObject", ERROR_ACCESS_DENIED, 8) +
               RefuseEntry(saver.Handle(), "kernel32.dll", "UpdateProcThreadAttribute", ERROR_NOT_SUPPORTED, 28) +
               RefuseEntry(saver.Handle(), "user32.dll", "SetWindowsHookExA", ERROR_ACCESS_DENIED, 16) +
               AnswerForTheCallersJob(saver.Handle(), outerJob);
    });
    const std::string record = RecordWhileSaverRuns(install, saver, 20000);
    ASSERT_EQ("", saver.PatchOutcome());
    ASSERT_FALSE(record.empty()) << "the launched game did not start";
    HANDLE game = GameInstall::OpenGame(record);
    ASSERT_NE(nullptr, game);
    ASSERT_TRUE(after.StartIn(outerJob));
    EXPECT_EQ(4u, Play(saver, "Screen-saver", PointerMoves({2, -2, 2, -2})));
    KeepRunning(saver, 2000);  // by now the launcher has ended, after its helper
    ExpectInputEndsTheRun(install, saver, game, ShiftKey());
    CloseHandle(game);
    for (const Bystander* bystander : {&before, &after}) {
        EXPECT_TRUE(bystander->Running()) << (bystander == &before ? "the earlier" : "the later") << " bystander";
        EXPECT_EQ("", bystander->CloseRequests()) << (bystander == &before ? "the earlier" : "the later");
    }
    const std::vector<std::string> lines = SaverLines(saver);
    EXPECT_EQ("", FirstMissingLine(lines, {
        "kubotrax: input watch: hooks refused (error 5), watching the system's last-input time and the pointer; "
        "input that moves no pointer is a key or a button\n",
        "kubotrax: game stays in the saver's job: leaving it was refused (error 5)\n",
        "kubotrax: road: the saver's job, the game and what descends from it (own job refused, error 5)\n",
        "kubotrax: player input: a key or a button\n",
    })) << Joined(lines);
    CloseHandle(outerJob);
}

// Where no job says what the game is (NT 4.0 has none), the game is the
// process the saver started: the run ends with a launcher, and the game it
// started runs on.
TEST(SaverRun, WithoutAJobTheGameIsTheProcessTheSaverStarted)
{
    if (RunIsWindows9x())
        GTEST_SKIP() << "Windows 95/98 hand the screen to the game";
    GameInstall install;
    install.MakeGameALauncher();
    SaverProcess saver("/s", true, SaverPath());
    saver.PatchAtStart([&] {
        return RefuseEntry(saver.Handle(), "kernel32.dll", "AssignProcessToJobObject", ERROR_ACCESS_DENIED, 8) +
               RefuseEntry(saver.Handle(), "kernel32.dll", "UpdateProcThreadAttribute", ERROR_NOT_SUPPORTED, 28);
    });
    const std::string record = RecordWhileSaverRuns(install, saver, 20000);
    ASSERT_EQ("", saver.PatchOutcome());
    ASSERT_FALSE(record.empty()) << "the launched game did not start";
    ASSERT_TRUE(saver.Wait(20000)) << "the saver stayed after the launcher";
    EXPECT_EQ(0u, saver.ExitCode());
    EXPECT_TRUE(GameInstall::StillRunning(record));
    EXPECT_EQ("", FirstMissingLine(SaverLines(saver), {"kubotrax: road: first process (own job refused, error 5; "
                                                      "the game is in no job of the saver's)\n"}))
        << Joined(SaverLines(saver));
}

// Hooks that are set but hear nothing are set again once the system sees
// input they missed; that input does not count, the next key does. This game
// ends itself on the key at once: the saver still says the player came
// before it says the run is over.
TEST(SaverRun, TheWatchMendsItsOwnLossAndSaysThePlayerBeforeTheRunsEnd)
{
    if (RunIsWindows9x())
        GTEST_SKIP() << "Windows 95/98 hand the screen to the game";
    GameInstall install;
    PlacePointer(kPointerAtStart);
    SaverProcess saver("/s", true, SaverPath(), kSaverDesktop);
    saver.PatchAtStart([&] { return FakeEntry(saver.Handle(), "user32.dll", "SetWindowsHookExA", 0x1234, 2, 16); });
    const std::string record = RecordWhileSaverRuns(install, saver, 20000);
    ASSERT_EQ("", saver.PatchOutcome());
    ASSERT_FALSE(record.empty()) << "the game did not start";
    HANDLE game = GameInstall::OpenGame(record);
    ASSERT_NE(nullptr, game);
    EXPECT_EQ(2u, Play(saver, "Screen-saver", PointerMoves({2, -2}), 50));
    const std::string setAgain = "kubotrax: input watch set again: the system saw input the hooks did not\n";
    for (const DWORD start = GetTickCount(); FirstMissingLine(SaverLines(saver), {setAgain}) != "";)
        ASSERT_TRUE(GetTickCount() - start < 10000 && !saver.Wait(20)) << Joined(SaverLines(saver));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(game, 0)) << "the missed input ended the game";
    ASSERT_EQ(2u, Play(saver, "Screen-saver", ShiftKey(), 20));
    ASSERT_TRUE(saver.Wait(15000)) << "the saver outlived its game";
    EXPECT_EQ(0u, saver.ExitCode());
    DWORD gameExit = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(game, &gameExit));
    EXPECT_EQ(0u, gameExit) << "the game did not end by itself";
    CloseHandle(game);
    EXPECT_EQ("", FirstMissingLine(SaverLines(saver), {setAgain, "kubotrax: player input: a key\n",
                                                      "kubotrax: run over, nothing of the game runs\n"}))
        << Joined(SaverLines(saver));
}

// NT 4.0 before its third service pack has no low-level hooks, and no NT 4.0
// has jobs, the last-input time or the pointer's record: the watch looks at
// the pointer and the keys' state in turn, and the game is the process the
// saver started. A stubborn game that nobody touches runs on; a move beyond
// the threshold ends it.
TEST(SaverRun, OnNt40WithoutHookTypesOnlyTheHandEndsTheRun)
{
    if (RunIsWindows9x())
        GTEST_SKIP() << "Windows 95/98 hand the screen to the game";
    WindowlessRun run;
    SaverProcess saver("/s", true, SaverPath(), kSaverDesktop);
    saver.PatchAtStart([&] {
        return HideEntries(saver.Handle(), saver.Image(),
                           {"GetLastInputInfo", "GetMouseMovePointsEx", "CreateJobObjectA", "AssignProcessToJobObject",
                            "QueryInformationJobObject", "CreateToolhelp32Snapshot", "IsProcessInJob"}) +
               RefuseEntry(saver.Handle(), "user32.dll", "SetWindowsHookExA", ERROR_INVALID_HOOK_FILTER, 16);
    });
    ASSERT_NO_FATAL_FAILURE(run.AwaitGame(saver));
    ASSERT_EQ("", saver.PatchOutcome());
    KeepRunning(saver, 8000);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(run.game, 0)) << "the game was ended";
    ExpectInputEndsTheRun(run.install, saver, run.game, PointerJumpTo({kPointerAtStart.x + 40, kPointerAtStart.y}),
                          false);
    EXPECT_EQ("", FirstMissingLine(SaverLines(saver), {
        "kubotrax: input watch: hooks refused (error 1426), watching the pointer and the keys' state; only a move "
        "beyond the threshold, a key or a button is the player\n",
        "kubotrax: road: first process (no jobs on this system)\n",
        "kubotrax: player input: a move of 40 pixels\n",
    })) << Joined(SaverLines(saver));
}

// A saver ended from outside while its game is still held before its first
// instruction (here, while the saver gives it its priority) takes the game
// along: the game was created inside the saver's job.
TEST(SaverRun, ASaverKilledBeforeItsGameRunsLeavesNoGame)
{
    if (RunIsWindows9x())
        GTEST_SKIP() << "Windows 95/98 hand the screen to the game";
    GameInstall install;
    SaverProcess saver("/s", true, SaverPath(), kSaverDesktop);
    saver.PatchAtStart([&] { return DelayEntry(saver.Handle(), "kernel32.dll", "SetPriorityClass", 5000); });
    std::vector<DWORD> held;
    for (const DWORD start = GetTickCount(); held.empty() && GetTickCount() - start < 20000;
         held = ProcessesNamed("TRAX.exe"))
        ASSERT_FALSE(saver.Wait(20)) << "the saver ended before it started the game";
    ASSERT_EQ("", saver.PatchOutcome());
    ASSERT_EQ(1u, held.size());
    HANDLE game = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, held[0]);
    ASSERT_NE(nullptr, game);
    saver.Kill();
    const bool gone = WaitForSingleObject(game, 5000) == WAIT_OBJECT_0;
    TerminateProcess(game, 0);
    CloseHandle(game);
    EXPECT_TRUE(gone) << "the held game outlived its saver";
}

}  // namespace
