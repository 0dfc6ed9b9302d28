#include "host/game_run.h"

#include "common/entry_lookup.h"
#include "common/handles.h"
#include "host/platform.h"
#include "host/player_input.h"

namespace {
// Looked up at run time: Windows 95/98 and NT 4.0 lack jobs, and a static
// import would keep them from loading the saver at all.
using IsProcessInJobFn = BOOL(WINAPI*)(HANDLE, HANDLE, BOOL*);
using CreateJobObjectFn = HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, const char*);
using SetInformationJobObjectFn = BOOL(WINAPI*)(HANDLE, JOBOBJECTINFOCLASS, void*, DWORD);
using QueryInformationJobObjectFn = BOOL(WINAPI*)(HANDLE, JOBOBJECTINFOCLASS, void*, DWORD, DWORD*);
using AssignProcessToJobObjectFn = BOOL(WINAPI*)(HANDLE, HANDLE);
using TerminateJobObjectFn = BOOL(WINAPI*)(HANDLE, UINT);

// Where the run learns which processes are the game.
enum class RunSource {
    None,          // Windows 95/98: the run is handed over, not followed
    OwnJob,        // the saver's own job, which holds everything the game starts
    SaversJob,     // the job the system started the saver in, less the saver
    FirstProcess,  // no job tells: the process the saver started, alone
};

// At most this many of the game's processes are looked at in one go; the
// rest are found once some of these have ended.
constexpr int kMostListed = 64;
// What a game ended by the saver exits with: it did not end by itself.
constexpr UINT kEndedGameExitCode = 1;

struct ProcessIds {
    int count;
    DWORD ids[kMostListed];
};

// The run. Only this file writes it.
RunSource g_source;     // None when no run is followed
HANDLE g_game;          // the process the saver started, or null; its own handle, never a copy
DWORD g_gameId;         // its process id
HANDLE g_job;           // the saver's own job holding the game, or null
ProcessIds g_notGame;   // the saver's job's other processes when the game started (SaversJob)

HMODULE Kernel() { return GetModuleHandleA("KERNEL32.DLL"); }

bool Contains(const ProcessIds& list, DWORD id)
{
    for (int i = 0; i < list.count; ++i) {
        if (list.ids[i] == id)
            return true;
    }
    return false;
}

bool IsRunning(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

// The processes of a job (null: the one this process runs in); false where
// the system cannot say. A job of more than kMostListed gives the first ones.
bool ListJob(HANDLE job, ProcessIds* out)
{
    auto query = LookUpEntry<QueryInformationJobObjectFn>(Kernel(), "QueryInformationJobObject");
    union {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        BYTE bytes[sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + kMostListed * sizeof(ULONG_PTR)];
    } buffer = {};
    out->count = 0;
    if (!query)
        return false;
    if (!query(job, JobObjectBasicProcessIdList, &buffer, sizeof buffer, nullptr) && GetLastError() != ERROR_MORE_DATA)
        return false;
    const DWORD listed = buffer.list.NumberOfProcessIdsInList;
    for (DWORD i = 0; i < listed && i < kMostListed; ++i)
        out->ids[out->count++] = static_cast<DWORD>(buffer.list.ProcessIdList[i]);
    return true;
}

// The game's processes that run now.
ProcessIds ListGame()
{
    ProcessIds listed = {};
    ProcessIds game = {};
    if (g_source == RunSource::OwnJob && ListJob(g_job, &listed))
        return listed;
    if (g_source == RunSource::SaversJob && ListJob(nullptr, &listed)) {
        for (int i = 0; i < listed.count; ++i) {
            const DWORD id = listed.ids[i];
            if (id != GetCurrentProcessId() && !Contains(g_notGame, id))
                game.ids[game.count++] = id;
        }
        return game;
    }
    // No job, or one that cannot be read: the process the saver started.
    if (g_game && IsRunning(g_game))
        game.ids[game.count++] = g_gameId;
    return game;
}

// A handle to one of the game's running processes, opened with `access`;
// null when it cannot be had. A process id can name another process once its
// own has ended, so a process opened by id counts only when the game still
// lists it afterwards: the open handle keeps the id from being reused.
HANDLE OpenGameProcess(DWORD id, DWORD access)
{
    HANDLE process = OpenProcess(access, FALSE, id);
    if (process && !Contains(ListGame(), id)) {
        CloseHandle(process);
        return nullptr;
    }
    return process;
}

// A handle to one running process of the game, to wait on: when it ends, the
// run looks again, and when none is left, the run is over. Null then.
HANDLE OpenRunningGameProcess()
{
    const ProcessIds game = ListGame();
    for (int i = 0; i < game.count; ++i) {
        HANDLE process = OpenGameProcess(game.ids[i], SYNCHRONIZE);
        if (process && IsRunning(process))
            return process;
        if (process)
            CloseHandle(process);  // ended, but not yet gone from the job's list
    }
    return nullptr;
}

// Asks every visible top-level window of the game's processes to close.
BOOL CALLBACK AskWindowToClose(HWND window, LPARAM context)
{
    const ProcessIds* game = reinterpret_cast<const ProcessIds*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    // Visible ones only: hidden helper windows (input methods, say) would
    // be destroyed by a WM_CLOSE, not asked. Posted: a game that does not
    // answer must not hold the saver.
    if (IsWindowVisible(window) && Contains(*game, owner))
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void AskGameToClose()
{
    const ProcessIds game = ListGame();
    EnumWindows(AskWindowToClose, reinterpret_cast<LPARAM>(&game));
}

// Ends everything of the game: the job as a whole where it is the saver's
// own, else each of the game's processes.
void EndGame()
{
    auto terminateJob = LookUpEntry<TerminateJobObjectFn>(Kernel(), "TerminateJobObject");
    if (g_source == RunSource::OwnJob && terminateJob && terminateJob(g_job, kEndedGameExitCode))
        return;
    const ProcessIds game = ListGame();
    for (int i = 0; i < game.count; ++i) {
        KernelHandle process(OpenGameProcess(game.ids[i], PROCESS_TERMINATE));
        if (process.Get())
            TerminateProcess(process.Get(), kEndedGameExitCode);
    }
}

// How the run answers the player, once the player has come.
enum class Floor {
    Watching,      // the player has not come
    PlayerCame,    // the game has kInputAnswerMs to end by itself
    AskedToClose,  // its windows were asked to close; kCloseAnswerMs to go
    Ended,         // ended by the saver; ended again should any of it remain
};

// Pure: how long the phase has left, `sinceMs` after it began; INFINITE while
// the player has not come, 0 when its time is up.
DWORD FloorTimeLeft(Floor phase, DWORD sinceMs)
{
    if (phase == Floor::Watching)
        return INFINITE;
    const DWORD span = phase == Floor::PlayerCame ? kInputAnswerMs : kCloseAnswerMs;
    return sinceMs >= span ? 0 : span - sinceMs;
}

// Carries out the step whose time is up; returns the phase that follows.
Floor TakeFloorStep(Floor phase)
{
    if (phase == Floor::PlayerCame) {
        AskGameToClose();
        return Floor::AskedToClose;
    }
    EndGame();
    return Floor::Ended;
}

void HandlePendingMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Pure: the creation flags for the game. Everywhere it starts with the
// system's error mode. On the NT family it starts suspended, to be put into
// the saver's own job before it runs a line, and leaves the job the system
// put the saver in, whose limits are the saver's, not the game's.
DWORD GameCreationFlags(bool windows9x, bool saverInJob)
{
    if (windows9x)
        return CREATE_DEFAULT_ERROR_MODE;
    return CREATE_DEFAULT_ERROR_MODE | CREATE_SUSPENDED | (saverInJob ? CREATE_BREAKAWAY_FROM_JOB : 0);
}

// The saver's process belongs to a job. False where the system cannot say
// (before Windows XP).
bool SaverIsInJob()
{
    auto isInJob = LookUpEntry<IsProcessInJobFn>(Kernel(), "IsProcessInJob");
    BOOL inJob = FALSE;
    return isInJob && isInJob(GetCurrentProcess(), nullptr, &inJob) && inJob;
}

// A job that ends its processes when its last handle closes, so that a saver
// ended from outside (by the system at Ctrl+Alt+Del, by Task Manager) takes
// the game along. It lets none of them leave (no breakaway allowed): a
// process that left would run on, unseen, on the saver's desktop once the
// system has left it, and the run could no longer see it. One that asks is
// refused, as a job that keeps its processes refuses anyone. Null where the
// system has no jobs (Windows 95/98, NT 4.0) or will not make one.
HANDLE CreateEndingJob()
{
    auto create = LookUpEntry<CreateJobObjectFn>(Kernel(), "CreateJobObjectA");
    auto setInformation = LookUpEntry<SetInformationJobObjectFn>(Kernel(), "SetInformationJobObject");
    if (!create || !setInformation)
        return nullptr;
    HANDLE job = create(nullptr, nullptr);
    if (!job)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!setInformation(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

// Puts the suspended game into a job of the saver's own, and says where the
// run will learn what the game is. Where the system refuses a second job (no
// nesting before Windows 8) and the game stayed in the job the system
// started the saver in, that job tells, less what ran in it before the game.
RunSource TieGameToSaver()
{
    auto assign = LookUpEntry<AssignProcessToJobObjectFn>(Kernel(), "AssignProcessToJobObject");
    g_job = assign ? CreateEndingJob() : nullptr;
    if (g_job && assign(g_job, g_game))
        return RunSource::OwnJob;
    if (g_job)
        CloseHandle(g_job);
    g_job = nullptr;
    ProcessIds saversJob = {};
    if (!ListJob(nullptr, &saversJob) || !Contains(saversJob, g_gameId))
        return RunSource::FirstProcess;
    // The game is held before its first instruction: nothing listed is its.
    g_notGame = ProcessIds{};
    for (int i = 0; i < saversJob.count; ++i) {
        if (saversJob.ids[i] != g_gameId)
            g_notGame.ids[g_notGame.count++] = saversJob.ids[i];
    }
    return RunSource::SaversJob;
}

BOOL CreateGame(char* commandLine, DWORD flags, const STARTUPINFOA& startup, PROCESS_INFORMATION* game)
{
    STARTUPINFOA copy = startup;  // CreateProcessA takes it as writable
    return CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, flags, nullptr, nullptr, &copy, game);
}

void EndRun()
{
    StopWatchingForPlayer();
    // Empty by now, or left on purpose: closing its last handle ends what it holds.
    if (g_job)
        CloseHandle(g_job);
    if (g_game)
        CloseHandle(g_game);
    g_source = RunSource::None;
    g_game = nullptr;
    g_gameId = 0;
    g_job = nullptr;
    g_notGame = ProcessIds{};
}
}  // namespace

BOOL StartGameRun(char* commandLine, const STARTUPINFOA& startup)
{
    const bool windows9x = IsWindows9x() != 0;
    DWORD flags = GameCreationFlags(windows9x, SaverIsInJob());
    // Input counts from the moment the game starts.
    if (!windows9x)
        WatchForPlayer();
    PROCESS_INFORMATION game = {};
    BOOL started = CreateGame(commandLine, flags, startup, &game);
    if (!started && (flags & CREATE_BREAKAWAY_FROM_JOB) && GetLastError() == ERROR_ACCESS_DENIED) {
        // The job around the saver keeps its processes: the game stays in it.
        flags &= ~CREATE_BREAKAWAY_FROM_JOB;
        started = CreateGame(commandLine, flags, startup, &game);
    }
    if (!started) {
        const DWORD code = GetLastError();
        StopWatchingForPlayer();
        SetLastError(code);
        return FALSE;
    }
    g_game = game.hProcess;
    g_gameId = game.dwProcessId;
    if (windows9x) {
        CloseHandle(game.hThread);
        return TRUE;
    }
    g_source = TieGameToSaver();
    const DWORD resumed = ResumeThread(game.hThread);
    const DWORD code = GetLastError();
    CloseHandle(game.hThread);
    if (resumed != static_cast<DWORD>(-1))
        return TRUE;
    // A game that cannot be let go would hold the saver for ever.
    TerminateProcess(g_game, code);
    EndRun();
    SetLastError(code);
    return FALSE;
}

HANDLE GameRunProcess() { return g_game; }

void StayWithGameRun()
{
    Floor phase = Floor::Watching;
    DWORD phaseTick = 0;
    HANDLE followed = nullptr;  // a running process of the game
    while (g_source != RunSource::None) {
        if (!followed || !IsRunning(followed)) {
            if (followed)
                CloseHandle(followed);
            followed = OpenRunningGameProcess();
            if (!followed)
                break;  // nothing of the game runs any more
        }
        const DWORD now = GetTickCount();
        if (phase == Floor::Watching && PlayerHasCome()) {
            phase = Floor::PlayerCame;
            phaseTick = now;
        }
        // Unsigned subtraction: a wrap of the tick count changes nothing.
        DWORD timeLeft = FloorTimeLeft(phase, now - phaseTick);
        if (timeLeft == 0) {
            phase = TakeFloorStep(phase);
            phaseTick = now;
            timeLeft = FloorTimeLeft(phase, 0);
        }
        // Sleeps until the followed process ends, input or another message
        // arrives, or the floor's next step is due; never on a clock.
        if (MsgWaitForMultipleObjects(1, &followed, FALSE, timeLeft, QS_ALLINPUT) == WAIT_FAILED)
            break;  // a handle that cannot be waited on; waiting cannot mend it
        HandlePendingMessages();
    }
    if (followed)
        CloseHandle(followed);
    EndRun();
}
