#include "tests/support/game_install.h"

#include <tlhelp32.h>

#include <atomic>
#include <functional>
#include <thread>

#include "tests/support/password_standins.h"

namespace {
// Runs `action` on a thread of its own on a desktop (null: the test's own),
// while `meanwhile` is called on this one until the action is done.
void OnDesktop(const char* desktop, const std::function<void()>& action, const std::function<void()>& meanwhile)
{
    std::atomic<bool> done(false);
    std::thread player([&] {
        HDESK opened = desktop ? OpenDesktopA(desktop, 0, FALSE, GENERIC_ALL) : nullptr;
        if (!desktop || (opened && SetThreadDesktop(opened)))
            action();
        if (opened)
            CloseDesktop(opened);
        done = true;
    });
    while (!done)
        meanwhile();
    player.join();
}
}  // namespace

std::string StandInGamePath() { return FixtureFolder("game") + "\\stand_in_game.exe"; }

std::string Launcher64Path() { return FixtureFolder("launcher64") + "\\launcher64.exe"; }

std::string ReadAll(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got = 0;
    if (ReadFile(file, buffer, sizeof buffer, &got, nullptr))
        text.assign(buffer, got);
    CloseHandle(file);
    return text;
}

void EndProcess(DWORD id)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process)
        return;
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

GameInstall::GameInstall(const char* exeName, bool withGame) : directory_(temp_.Path() + "\\Kubo Trax")
{
    std::string ini = "[DIRECTORIES]\r\nres=" + directory_ + "\r\n";
    if (exeName)
        ini += std::string("Exe=") + exeName + "\r\n";
    ini += "[ScreenSaver]\r\nLayout=SaveGame\\castle.sav\r\nRandom=1\r\nSound=0\r\n";
    temp_.WriteFile("Kubo Trax\\kubo.ini", ini);
    if (withGame)
        CopyFileA(StandInGamePath().c_str(), (directory_ + "\\" + (exeName ? exeName : "TRAX.exe")).c_str(), FALSE);
    CopyFileA(StandInGamePath().c_str(), (temp_.Path() + "\\Kubo.exe").c_str(), FALSE);
    key_.SetPath(directory_);
}

GameInstall::~GameInstall()
{
    for (const std::string& folder : {directory_, temp_.Path()})
        EndGameRecordedIn(folder);
}

std::string GameInstall::RecordIn(const std::string& folder, DWORD waitMs) const
{
    const std::string path = folder + "\\game_run.txt";
    const DWORD start = GetTickCount();
    for (;;) {
        // The game renames its finished record into place; while the
        // rename's own handle is open the file may not open yet.
        const bool exists = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (exists) {
            const std::string text = ReadAll(path);
            if (!text.empty())
                return text;
        }
        if (GetTickCount() - start >= waitMs)
            return exists ? "<there, but unreadable>" : "";
        Sleep(20);
    }
}

std::string GameInstall::Value(const std::string& record, const std::string& key)
{
    const size_t at = record.find("\n" + key + "=");
    if (at == std::string::npos)
        return "<missing>";
    const size_t from = at + key.size() + 2;
    return record.substr(from, record.find_first_of("\r\n", from) - from);
}

DWORD GameInstall::GameId(const std::string& record)
{
    const size_t at = record.find("pid=");
    return at == std::string::npos ? 0 : std::stoul(record.substr(at + 4));
}

DWORD GameInstall::LauncherId(const std::string& record)
{
    const size_t at = record.find("--launched-by=");
    return at == std::string::npos ? 0 : std::stoul(record.substr(at + 14));
}

HANDLE GameInstall::OpenGame(const std::string& record)
{
    return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, GameId(record));
}

bool GameInstall::StillRunning(const std::string& record)
{
    HANDLE game = OpenGame(record);
    if (!game)
        return false;
    const bool running = WaitForSingleObject(game, 0) == WAIT_TIMEOUT;
    CloseHandle(game);
    return running;
}

void GameInstall::MakeGameALauncher() const
{
    SetStandInFlag("Launcher");
    if (RunIs64BitWindows()) {
        CopyFileA(StandInGamePath().c_str(), (directory_ + "\\TRAX32.exe").c_str(), FALSE);
        CopyFileA(Launcher64Path().c_str(), (directory_ + "\\TRAX.exe").c_str(), FALSE);
    }
}

void GameInstall::SetStandInFlag(const char* key) const
{
    WritePrivateProfileStringA("StandInGame", key, "1", (directory_ + "\\kubo.ini").c_str());
}

void GameInstall::EndGameRecordedIn(const std::string& folder) const
{
    // A game left running would hold the run lock against the next test.
    if (GetFileAttributesA((folder + "\\game_run.txt").c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    const DWORD game = GameId(RecordIn(folder, 2000));
    if (game)
        EndProcess(game);
}

std::string RecordWhileSaverRuns(const GameInstall& install, SaverProcess& saver, DWORD waitMs)
{
    std::string record;
    const DWORD start = GetTickCount();
    while ((record = install.RecordIn(install.Directory(), 0)).empty() && GetTickCount() - start < waitMs)
        saver.Wait(20);
    return record;
}

std::vector<INPUT> ShiftKey()
{
    std::vector<INPUT> events(2);
    for (size_t i = 0; i < events.size(); ++i) {
        events[i].type = INPUT_KEYBOARD;
        events[i].ki.wVk = VK_SHIFT;
        events[i].ki.dwFlags = i ? KEYEVENTF_KEYUP : 0;
    }
    return events;
}

std::vector<INPUT> PointerMoves(const std::vector<int>& moves)
{
    std::vector<INPUT> events(moves.size());
    for (size_t i = 0; i < events.size(); ++i) {
        events[i].type = INPUT_MOUSE;
        events[i].mi.dx = moves[i];
        events[i].mi.dwFlags = MOUSEEVENTF_MOVE;
    }
    return events;
}

std::vector<INPUT> PointerJumpTo(POINT point)
{
    // In 65,536ths of the screen, a little past the pixel so that no
    // rounding lands on the one before.
    std::vector<INPUT> events(1);
    events[0].type = INPUT_MOUSE;
    events[0].mi.dx = point.x * 65536 / GetSystemMetrics(SM_CXSCREEN) + 1;
    events[0].mi.dy = point.y * 65536 / GetSystemMetrics(SM_CYSCREEN) + 1;
    events[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return events;
}

size_t Play(SaverProcess& saver, const char* desktop, const std::vector<INPUT>& events, DWORD gapMs)
{
    std::atomic<size_t> sent(0);
    OnDesktop(
        desktop,
        [&] {
            if (gapMs == 0 && !events.empty()) {
                std::vector<INPUT> all = events;
                sent += SendInput(static_cast<UINT>(all.size()), all.data(), sizeof all[0]);
                return;
            }
            for (INPUT event : events) {
                sent += SendInput(1, &event, sizeof event);
                Sleep(gapMs);
            }
        },
        [&] { saver.Wait(20); });
    return sent;
}

void PlacePointer(POINT point)
{
    // From the test's desktop (which moves the X pointer) and from the saver's.
    for (const char* desktop : {static_cast<const char*>(nullptr), "Screen-saver"})
        OnDesktop(desktop, [&] { SetCursorPos(point.x, point.y); }, [] { Sleep(10); });
}

bool FromTheXSide(const std::string& xdotoolArguments)
{
    // Wine starts a Unix program by its path on drive Z:, with the
    // environment (DISPLAY among it) that Wine itself was given, but gives
    // no handle to wait on: a shell writes xdotool's exit status to a file
    // and renames it whole into place, and the file says when it is done.
    static int count = 0;
    const std::string name = "/tmp/kubo-xdotool-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++count);
    std::string windowsName = "Z:" + name;
    for (char& c : windowsName)
        c = c == '/' ? '\\' : c;
    std::string commandLine = "Z:\\bin\\sh -c \"xdotool " + xdotoolArguments + "; echo $? >" + name + ".part && mv " +
                              name + ".part " + name + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION shell = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &shell))
        return false;
    if (shell.hThread)
        CloseHandle(shell.hThread);
    if (shell.hProcess)
        CloseHandle(shell.hProcess);
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10)) {
        if (GetFileAttributesA(windowsName.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        const std::string status = ReadAll(windowsName);
        DeleteFileA(windowsName.c_str());
        return status == "0\n";
    }
    return false;
}

HANDLE MakeEndingJob(DWORD moreLimits)
{
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | moreLimits;
    if (job && !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        job = nullptr;
    }
    return job;
}

std::vector<DWORD> ProcessesNamed(const char* name)
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        const char* file = strrchr(entry.szExeFile, '\\');
        if (lstrcmpiA(file ? file + 1 : entry.szExeFile, name) == 0)
            found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}
