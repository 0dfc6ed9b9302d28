// tests/support/game_install.h: a game installation with the stand-in game
// (fixtures/game) for tests of the full-screen saver, what the game wrote
// down about its start, and the player's input sent while a saver runs.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/fake_install.h"
#include "tests/support/saver_process.h"

std::string StandInGamePath();
// The 64-bit program of the runs on 64-bit Windows (fixtures/launcher64).
std::string Launcher64Path();

// A whole file, however it is shared; empty when it cannot be read.
std::string ReadAll(const std::string& path);

// The running processes whose program file has this name.
std::vector<DWORD> ProcessesNamed(const char* name);

// Ends a process by id and waits (5 s at most) until it has gone.
void EndProcess(DWORD id);

// A game installation in "<temp>\Kubo Trax": a folder with a blank, so that an
// unquoted command line would run "<temp>\Kubo.exe" first, where a decoy waits.
class GameInstall {
public:
    explicit GameInstall(const char* exeName = nullptr, bool withGame = true);
    ~GameInstall();
    GameInstall(const GameInstall&) = delete;
    GameInstall& operator=(const GameInstall&) = delete;

    const std::string& Directory() const { return directory_; }
    const std::string& TempPath() const { return temp_.Path(); }
    // What the game that ran from a folder wrote down; empty when none ran.
    std::string RecordIn(const std::string& folder, DWORD waitMs) const;
    // The game ignores input and requests to close, and logs each request.
    void MakeGameStubborn() const { SetStandInFlag("Stubborn"); }
    // The game hands over to a process of its own and ends at once; in a run
    // on 64-bit Windows the executable is a 64-bit launcher handing over to
    // the 32-bit game (fixtures/launcher64).
    void MakeGameALauncher() const;
    // The launcher hands over through a helper that ends before it.
    void MakeLauncherUseAHelper() const { SetStandInFlag("Helper"); }
    // The game puts the pointer at (40, 40) once its window shows.
    void MakeGameTakeThePointer() const { SetStandInFlag("TakePointer"); }
    // The game puts the pointer back in the middle of the screen every 10 ms.
    void MakeGameCentreThePointer() const { SetStandInFlag("CentrePointer"); }
    // What the game wrote down of its own doings ("pointer taken").
    std::string GameEvents() const { return ReadAll(directory_ + "\\game_events.log"); }
    // The game shows no window and never ends by itself.
    void MakeGameWindowless() const { SetStandInFlag("Windowless"); }
    // The requests to close that a stubborn game logged.
    std::string CloseRequests() const { return ReadAll(directory_ + "\\game_close_requests.log"); }
    // Ends the game that ran from the installation, once its record is there.
    void EndGame() const { EndGameRecordedIn(directory_); }

    // One "key=value" line of a record, without its line end.
    static std::string Value(const std::string& record, const std::string& key);
    // The process id a record gives; 0 when it gives none.
    static DWORD GameId(const std::string& record);
    // The launcher that started the game that wrote the record; 0 when none did.
    static DWORD LauncherId(const std::string& record);
    // The game that wrote the record, for waiting on it and asking how it ended.
    static HANDLE OpenGame(const std::string& record);
    // Whether the game that wrote the record is still running.
    static bool StillRunning(const std::string& record);

private:
    void SetStandInFlag(const char* key) const;
    void EndGameRecordedIn(const std::string& folder) const;

    TempFolder temp_;
    InstallKey key_;
    std::string directory_;
};

// The record of the game a saver started, read while the saver runs on
// (which needs its debug events handled); empty when none came in time.
std::string RecordWhileSaverRuns(const GameInstall& install, SaverProcess& saver, DWORD waitMs);

// Input events as the system's input queue takes them: the shift key pressed
// and let go, the pointer moved by each of `moves` pixels along x in turn,
// or moved to a point of the screen at once (as a touch screen reports).
std::vector<INPUT> ShiftKey();
std::vector<INPUT> PointerMoves(const std::vector<int>& moves);
std::vector<INPUT> PointerJumpTo(POINT point);

// Sends the events `gapMs` apart from a thread on a desktop ("Screen-saver";
// null: the test's own), as the player's hand works on the desktop the saver
// runs on, while this thread keeps handling the saver's debug events (a
// saver started as a debuggee stops at each until it is handled). Returns
// how many were sent. With no gap they go in one call (see docs/TESTING.md).
size_t Play(SaverProcess& saver, const char* desktop, const std::vector<INPUT>& events, DWORD gapMs = 0);

// Places the pointer on the test's desktop and on the saver's alike: Wine
// keeps one position per desktop, Windows one for all.
void PlacePointer(POINT point);

// Input as a player's mouse and keyboard give it: from the X server of the
// slot's display, which Wine hears only over its own windows, through
// xdotool (its arguments, as "mousemove_relative -- 2 0"). True once it ran
// and succeeded.
bool FromTheXSide(const std::string& xdotoolArguments);

// A job that ends its processes when its one handle here closes, with more
// limits if asked for: one the system might start the saver in.
HANDLE MakeEndingJob(DWORD moreLimits);
