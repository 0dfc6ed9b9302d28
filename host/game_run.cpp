#include "host/game_run.h"

#include <new>

#include "common/entry_lookup.h"
#include "common/handles.h"
#include "host/decision_trace.h"
#include "host/game_processes.h"
#include "host/platform.h"
#include "host/player_input.h"

namespace {
// Looked up at run time: Windows 95/98 and NT 4.0 lack jobs, Windows 95/98
// desktops, and a static import would keep them from loading the saver.
using IsProcessInJobFn = BOOL(WINAPI*)(HANDLE, HANDLE, BOOL*);
using CreateJobObjectFn = HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, const char*);
using SetInformationJobObjectFn = BOOL(WINAPI*)(HANDLE, JOBOBJECTINFOCLASS, void*, DWORD);
using AssignProcessToJobObjectFn = BOOL(WINAPI*)(HANDLE, HANDLE);
using TerminateJobObjectFn = BOOL(WINAPI*)(HANDLE, UINT);
using GetProcessWindowStationFn = HWINSTA(WINAPI*)();
using GetThreadDesktopFn = HDESK(WINAPI*)(DWORD);
using GetUserObjectInformationFn = BOOL(WINAPI*)(HANDLE, int, void*, DWORD, DWORD*);

// Where the run learns which processes are the game.
enum class RunRoad {
    None,          // no run is followed: Windows 95/98 hand the game over
    OwnJob,        // the saver's own job, which holds everything the game starts
    SaversJob,     // the job the system started the saver in: the game and what descends from it
    FirstProcess,  // nothing reliable tells more: the process the saver started, alone
};

// What a game ended by the saver exits with: it did not end by itself.
constexpr UINT kEndedGameExitCode = 1;

// The run. Only this file writes it.
RunRoad g_road;   // None when no run is followed
HANDLE g_game;    // the process the saver started, or null; its own handle, never a copy
DWORD g_gameId;   // its process id
HANDLE g_job;     // the saver's own job holding the game, or null
GameLineage* g_lineage;  // the game in the saver's job (SaversJob), or null; on the free store

HMODULE Kernel() { return GetModuleHandleA("KERNEL32.DLL"); }
HMODULE User() { return GetModuleHandleA("USER32.DLL"); }

bool IsRunning(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

// The game's processes that run now.
void ListGame(ProcessIds* game)
{
    if (g_road == RunRoad::OwnJob && ListJobProcesses(g_job, game))
        return;
    if (g_road == RunRoad::SaversJob) {
        ProcessIds job;
        if (ListJobProcesses(nullptr, &job) && g_lineage->List(job, game))
            return;
    }
    // No job, or one that cannot be read this time: the process the saver started.
    game->Clear();
    if (g_game && IsRunning(g_game))
        game->Add(g_gameId);
}

// A handle to one of the game's running processes, opened with `access`;
// null when it cannot be had. A process id can name another process once its
// own has ended, so a process opened by id counts only when the game still
// lists it afterwards: the open handle keeps the id from being reused.
HANDLE OpenGameProcess(DWORD id, DWORD access)
{
    HANDLE process = OpenProcess(access, FALSE, id);
    ProcessIds game;
    if (process) {
        ListGame(&game);
        if (!game.Contains(id)) {
            CloseHandle(process);
            return nullptr;
        }
    }
    return process;
}

// A handle to one running process of the game, to wait on: when it ends, the
// run looks again, and when none is left, the run is over. Null then.
HANDLE OpenRunningGameProcess(DWORD* id)
{
    ProcessIds game;
    ListGame(&game);
    for (int i = 0; i < game.Count(); ++i) {
        HANDLE process = OpenGameProcess(game[i], SYNCHRONIZE);
        if (process && IsRunning(process)) {
            *id = game[i];
            return process;
        }
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
    if (IsWindowVisible(window) && game->Contains(owner))
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void AskGameToClose()
{
    ProcessIds game;
    ListGame(&game);
    EnumWindows(AskWindowToClose, reinterpret_cast<LPARAM>(&game));
}

// Ends everything of the game: the job as a whole where it is the saver's
// own, else each of the game's processes.
void EndGame()
{
    auto terminateJob = LookUpEntry<TerminateJobObjectFn>(Kernel(), "TerminateJobObject");
    if (g_road == RunRoad::OwnJob && terminateJob && terminateJob(g_job, kEndedGameExitCode))
        return;
    ProcessIds game;
    ListGame(&game);
    for (int i = 0; i < game.Count(); ++i) {
        KernelHandle process(OpenGameProcess(game[i], PROCESS_TERMINATE));
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

// Carries out the step whose time is up, `sinceInputMs` after the player's
// input; returns the phase that follows.
Floor TakeFloorStep(Floor phase, DWORD sinceInputMs)
{
    const DecimalText since(sinceInputMs);
    if (phase == Floor::PlayerCame) {
        AskGameToClose();
        TraceDecision({"asked the game's windows to close, ", since.Text(), " ms after the input"});
        return Floor::AskedToClose;
    }
    EndGame();
    TraceDecision({"ended the game, ", since.Text(), " ms after the input"});
    return Floor::Ended;
}

void TracePlayersInput()
{
    switch (PlayersInputSeen()) {
    case PlayersInput::Key:
        TraceDecision({"player input: a key"});
        break;
    case PlayersInput::Button:
        TraceDecision({"player input: a mouse button"});
        break;
    case PlayersInput::Move:
        TraceDecision({"player input: a move of ", DecimalText(PlayersMovePixels()).Text(), " pixels"});
        break;
    case PlayersInput::None:
        break;
    }
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

// Pure: the priority class to give the game on the NT family, from the
// saver's own: the same. The system runs savers in the idle class so that
// they never slow the user's own work, and the game is the saver now. 0 (the
// system's default) for a class the system did not tell or unknown here.
DWORD GamePriorityClass(DWORD saverPriorityClass)
{
    switch (saverPriorityClass) {
    case IDLE_PRIORITY_CLASS:
    case BELOW_NORMAL_PRIORITY_CLASS:
    case NORMAL_PRIORITY_CLASS:
    case ABOVE_NORMAL_PRIORITY_CLASS:
    case HIGH_PRIORITY_CLASS:
    case REALTIME_PRIORITY_CLASS:
        return saverPriorityClass;
    }
    return 0;
}

const char* PriorityClassName(DWORD priorityClass)
{
    switch (priorityClass) {
    case IDLE_PRIORITY_CLASS:
        return "idle";
    case BELOW_NORMAL_PRIORITY_CLASS:
        return "below normal";
    case NORMAL_PRIORITY_CLASS:
        return "normal";
    case ABOVE_NORMAL_PRIORITY_CLASS:
        return "above normal";
    case HIGH_PRIORITY_CLASS:
        return "high";
    case REALTIME_PRIORITY_CLASS:
        return "realtime";
    }
    return "unknown";
}

// The game's priority class as the system gave it, and the desktop it runs
// on: the saver's, which the game inherits.
void TraceGameSurroundings()
{
    TraceDecision({"game priority class: ", PriorityClassName(GetPriorityClass(g_game))});
    auto station = LookUpEntry<GetProcessWindowStationFn>(User(), "GetProcessWindowStation");
    auto desktop = LookUpEntry<GetThreadDesktopFn>(User(), "GetThreadDesktop");
    auto nameOf = LookUpEntry<GetUserObjectInformationFn>(User(), "GetUserObjectInformationA");
    char stationName[64] = "";
    char desktopName[64] = "";
    if (!station || !desktop || !nameOf ||
        !nameOf(station(), UOI_NAME, stationName, sizeof stationName - 1, nullptr) ||
        !nameOf(desktop(GetCurrentThreadId()), UOI_NAME, desktopName, sizeof desktopName - 1, nullptr)) {
        TraceFailure("naming the game's desktop", GetLastError());
        return;
    }
    TraceDecision({"game desktop: ", stationName, "\\", desktopName});
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
// system will not make one; GetLastError says why.
HANDLE CreateEndingJob(CreateJobObjectFn create, SetInformationJobObjectFn setInformation)
{
    HANDLE job = create(nullptr, nullptr);
    if (!job)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!setInformation(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        const DWORD code = GetLastError();
        CloseHandle(job);
        SetLastError(code);
        return nullptr;
    }
    return job;
}

// The road the run takes, and why: said once the game runs, so that the
// game never waits for the saying.
struct RoadChoice {
    RunRoad road;
    const char* reason;  // after the own job's refusal, or alone where there was none
    DWORD refusal;       // why the system refused the own job; 0 when it did not
};

void TraceRoad(const RoadChoice& choice)
{
    const char* name = choice.road == RunRoad::OwnJob      ? "own job"
                       : choice.road == RunRoad::SaversJob ? "the saver's job, the game and what descends from it"
                                                           : "first process";
    if (!choice.refusal) {
        TraceDecision({"road: ", name, " (", choice.reason, ")"});
        return;
    }
    TraceDecision({"road: ", name, " (own job refused, error ", DecimalText(choice.refusal).Text(),
                   *choice.reason ? "; " : "", choice.reason, ")"});
}

// Puts the suspended game into a job of the saver's own, and says where the
// run will learn what the game is. Where the system refuses a second job
// (Windows 7 and before refuse any, Windows 8 and later one with limits on
// the user interface) and the game stayed in the job the system started the
// saver in, that job tells: those of its processes that descend from the
// game, whatever else runs there or joins it later. Where that cannot be
// told reliably, the game is the process the saver started.
RoadChoice TieGameToSaver()
{
    auto create = LookUpEntry<CreateJobObjectFn>(Kernel(), "CreateJobObjectA");
    auto setInformation = LookUpEntry<SetInformationJobObjectFn>(Kernel(), "SetInformationJobObject");
    auto assign = LookUpEntry<AssignProcessToJobObjectFn>(Kernel(), "AssignProcessToJobObject");
    if (!create || !setInformation || !assign)
        return {RunRoad::FirstProcess, "no jobs on this system", 0};
    g_job = CreateEndingJob(create, setInformation);
    if (g_job && assign(g_job, g_game))
        return {RunRoad::OwnJob, "holds everything the game starts", 0};
    const DWORD code = GetLastError();
    const DWORD refusal = code ? code : ERROR_ACCESS_DENIED;
    if (g_job)
        CloseHandle(g_job);
    g_job = nullptr;
    ProcessIds saversJob;
    if (!ListJobProcesses(nullptr, &saversJob) || !saversJob.Contains(g_gameId))
        return {RunRoad::FirstProcess, "the game is in no job of the saver's", refusal};
    g_lineage = new (std::nothrow) GameLineage;
    if (!g_lineage || !g_lineage->Begin(g_gameId, saversJob)) {
        delete g_lineage;
        g_lineage = nullptr;
        return {RunRoad::FirstProcess, "the game's descendants cannot be told", refusal};
    }
    return {RunRoad::SaversJob, "", refusal};
}

BOOL CreateGame(char* commandLine, DWORD flags, const STARTUPINFOA& startup, PROCESS_INFORMATION* game)
{
    STARTUPINFOA copy = startup;  // CreateProcessA takes it as writable
    return CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, flags, nullptr, nullptr, &copy, game);
}

void EndRun()
{
    StopWatchingForPlayer();
    delete g_lineage;
    // Empty by now, or left on purpose: closing its last handle ends what it holds.
    if (g_job)
        CloseHandle(g_job);
    if (g_game)
        CloseHandle(g_game);
    g_road = RunRoad::None;
    g_game = nullptr;
    g_gameId = 0;
    g_job = nullptr;
    g_lineage = nullptr;
}
}  // namespace

BOOL StartGameRun(char* commandLine, const STARTUPINFOA& startup)
{
    const bool windows9x = IsWindows9x() != 0;
    // Passed explicitly: what a child inherits differs between systems.
    const DWORD priorityClass = windows9x ? 0 : GamePriorityClass(GetPriorityClass(GetCurrentProcess()));
    DWORD flags = GameCreationFlags(windows9x, SaverIsInJob()) | priorityClass;
    // Input counts from before the game starts: the watch runs on a thread of
    // its own, so however long the start holds this one, no input is lost.
    if (!windows9x)
        WatchForPlayer();
    PROCESS_INFORMATION game = {};
    BOOL started = CreateGame(commandLine, flags, startup, &game);
    if (!started && (flags & CREATE_BREAKAWAY_FROM_JOB) && GetLastError() == ERROR_ACCESS_DENIED) {
        // The job around the saver keeps its processes: the game stays in it.
        TraceDecision({"game stays in the saver's job: leaving it was refused (error 5)"});
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
        TraceDecision({"road: handed over (Windows 95/98)"});
        CloseHandle(game.hThread);
        return TRUE;
    }
    // Said once more to the game itself, still held before its first
    // instruction: not every system takes the class from the creation flags
    // (Wine does not).
    if (priorityClass && !SetPriorityClass(g_game, priorityClass))
        TraceFailure("giving the game the saver's priority class", GetLastError());
    const RoadChoice choice = TieGameToSaver();
    g_road = choice.road;
    const DWORD resumed = ResumeThread(game.hThread);
    const DWORD code = GetLastError();
    CloseHandle(game.hThread);
    if (resumed != static_cast<DWORD>(-1)) {
        TraceGameSurroundings();
        TraceRoad(choice);
        return TRUE;
    }
    // A game that cannot be let go would hold the saver for ever.
    TraceFailure("letting the game run", code);
    TerminateProcess(g_game, code);
    EndRun();
    SetLastError(code);
    return FALSE;
}

HANDLE GameRunProcess() { return g_game; }

void StayWithGameRun()
{
    const bool followed = g_road != RunRoad::None;
    Floor phase = Floor::Watching;
    DWORD inputTick = 0;
    DWORD phaseTick = 0;
    HANDLE running = nullptr;  // a running process of the game
    while (g_road != RunRoad::None) {
        if (!running || !IsRunning(running)) {
            if (running)
                CloseHandle(running);
            DWORD id = 0;
            running = OpenRunningGameProcess(&id);
            if (!running)
                break;  // nothing of the game runs any more
            TraceDecision({"following game process ", DecimalText(id).Text()});
        }
        const DWORD now = GetTickCount();
        HANDLE came = PlayerCameEvent();
        if (phase == Floor::Watching && came && WaitForSingleObject(came, 0) == WAIT_OBJECT_0) {
            phase = Floor::PlayerCame;
            phaseTick = inputTick = now;
            TracePlayersInput();
        }
        // Unsigned subtraction: a wrap of the tick count changes nothing.
        DWORD timeLeft = FloorTimeLeft(phase, now - phaseTick);
        if (timeLeft == 0) {
            phase = TakeFloorStep(phase, now - inputTick);
            phaseTick = now;
            timeLeft = FloorTimeLeft(phase, 0);
        }
        // Sleeps until the followed process ends, the player comes, a message
        // arrives, or the floor's next step is due; never on a clock.
        HANDLE awaited[] = {running, came};
        const DWORD count = phase == Floor::Watching && came ? 2 : 1;
        if (MsgWaitForMultipleObjects(count, awaited, FALSE, timeLeft, QS_ALLINPUT) == WAIT_FAILED) {
            TraceFailure("waiting for the game", GetLastError());
            break;  // a handle that cannot be waited on; waiting cannot mend it
        }
        HandlePendingMessages();
    }
    if (running)
        CloseHandle(running);
    if (followed)
        TraceDecision({"run over, nothing of the game runs"});
    EndRun();
}
