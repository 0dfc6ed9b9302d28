#include "run/game_run.h"

#include <new>

#include "common/entry_lookup.h"
#include "common/handles.h"
#include "run/game_processes.h"
#include "run/player_input.h"
#include "system/decision_trace.h"
#include "system/platform.h"

namespace {
// Looked up at run time: Windows 95/98 and NT 4.0 lack jobs, Windows 95/98
// desktops, and a static import would keep them from loading the saver.
using IsProcessInJobFn = BOOL(WINAPI*)(HANDLE, HANDLE, BOOL*);
using CreateJobObjectFn = HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, const char*);
using SetInformationJobObjectFn = BOOL(WINAPI*)(HANDLE, JOBOBJECTINFOCLASS, void*, DWORD);
using AssignProcessToJobObjectFn = BOOL(WINAPI*)(HANDLE, HANDLE);
using TerminateJobObjectFn = BOOL(WINAPI*)(HANDLE, UINT);
// Creating a process inside a job came with Windows 10; the lists with Vista.
using InitializeProcThreadAttributeListFn = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD, SIZE_T*);
using UpdateProcThreadAttributeFn = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD_PTR, void*, SIZE_T, void*,
                                                 SIZE_T*);
using DeleteProcThreadAttributeListFn = void(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST);
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

// How often the run looks at the game where no process of it tells when to:
// on the saver's job, to judge what joins it while it is there, and while
// the system cannot say what runs. While new processes appear in the saver's
// job, it looks sooner, so that each is judged while its parent is there.
constexpr DWORD kLookAgainMs = 500;
constexpr DWORD kLookSoonMs = 50;

// What a game ended by the saver exits with: it did not end by itself.
constexpr UINT kEndedGameExitCode = 1;

// The run. Only this file writes it.
RunRoad g_road;   // None when no run is followed
HANDLE g_game;    // the process the saver started, or null; its own handle, never a copy
DWORD g_gameId;   // its process id
HANDLE g_job;     // the saver's own job holding the game, or null
GameLineage* g_lineage;  // the game in the saver's job (SaversJob), or null; on the free store
bool g_jobEnded;         // the saver ended its own job, and with it everything of the game

HMODULE Kernel() { return GetModuleHandleA("KERNEL32.DLL"); }
HMODULE User() { return GetModuleHandleA("USER32.DLL"); }

bool IsRunning(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

// What the run knows of the game at one look.
enum class GameNow {
    Runs,     // the list holds the game's running processes
    Gone,     // the system says nothing of the game runs
    Unknown,  // the system cannot say this time: the run stays, and looks again
};

// The game's processes that run now. The run is over only on the system's
// word: on the own job, its count of running processes; elsewhere, a list
// that was read whole.
GameNow ListGame(ProcessIds* game)
{
    game->Clear();
    if (g_road == RunRoad::OwnJob) {
        DWORD running = 0;
        const bool counted = CountJobProcesses(g_job, &running);
        if ((counted && running == 0) || (!counted && g_jobEnded))
            return GameNow::Gone;
        if (!ListJobProcesses(g_job, game))
            return GameNow::Unknown;
        if (game->Count() > 0)
            return GameNow::Runs;
        return counted ? GameNow::Unknown : GameNow::Gone;
    }
    if (g_road == RunRoad::SaversJob) {
        ProcessIds job;
        if (!ListJobProcesses(nullptr, &job) || !g_lineage->List(job, game))
            return GameNow::Unknown;
        return game->Count() > 0 ? GameNow::Runs : GameNow::Gone;
    }
    if (g_game && IsRunning(g_game) && game->Add(g_gameId))
        return GameNow::Runs;
    return GameNow::Gone;
}

// How long until the next look at the saver's job, after one that took
// `period`: soon while new processes appear there, then longer again.
DWORD NextLookPeriod(DWORD period)
{
    if (g_lineage && g_lineage->JudgedNewAtLastList())
        return kLookSoonMs;
    return period * 2 < kLookAgainMs ? period * 2 : kLookAgainMs;
}

// The game's processes as far as the system can say; where it cannot this
// time, the process the saver started, so that the floor always has one.
void ListGameAtLeastFirst(ProcessIds* game)
{
    if (ListGame(game) == GameNow::Unknown && g_game && IsRunning(g_game))
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
        ListGameAtLeastFirst(&game);
        if (!game.Contains(id)) {
            CloseHandle(process);
            return nullptr;
        }
    }
    return process;
}

// A handle to one running process of the game, to wait on: when it ends, the
// run looks again. Null unless the game runs; the answer says whether
// nothing runs any more or the system could not say.
GameNow OpenRunningGameProcess(HANDLE* running, DWORD* id)
{
    *running = nullptr;
    ProcessIds game;
    const GameNow now = ListGame(&game);
    for (int i = 0; now == GameNow::Runs && i < game.Count(); ++i) {
        HANDLE process = OpenGameProcess(game[i], SYNCHRONIZE);
        if (process && IsRunning(process)) {
            *running = process;
            *id = game[i];
            return GameNow::Runs;
        }
        if (process)
            CloseHandle(process);  // ended, but not yet gone from the job's list
    }
    return now == GameNow::Runs ? GameNow::Unknown : now;  // listed, yet none to be held: look again
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
    ListGameAtLeastFirst(&game);
    EnumWindows(AskWindowToClose, reinterpret_cast<LPARAM>(&game));
}

// Ends everything of the game: the job as a whole where it is the saver's
// own, else each of the game's processes.
void EndGame()
{
    auto terminateJob = LookUpEntry<TerminateJobObjectFn>(Kernel(), "TerminateJobObject");
    if (g_road == RunRoad::OwnJob && terminateJob && terminateJob(g_job, kEndedGameExitCode)) {
        g_jobEnded = true;
        return;
    }
    ProcessIds game;
    ListGameAtLeastFirst(&game);
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
    case PlayersInput::KeyOrButton:
        TraceDecision({"player input: a key or a button"});
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

}  // namespace

bool IsGameFileError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_FORMAT:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
    case ERROR_FILENAME_EXCED_RANGE:
        return true;
    }
    return false;
}

namespace {
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
// system has no jobs (`refusal` 0) or will not make one (`refusal` says why).
HANDLE CreateEndingJob(DWORD* refusal)
{
    *refusal = 0;
    auto create = LookUpEntry<CreateJobObjectFn>(Kernel(), "CreateJobObjectA");
    auto setInformation = LookUpEntry<SetInformationJobObjectFn>(Kernel(), "SetInformationJobObject");
    if (!create || !setInformation || !LookUpEntry<AssignProcessToJobObjectFn>(Kernel(), "AssignProcessToJobObject"))
        return nullptr;
    HANDLE job = create(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && setInformation(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return job;
    const DWORD code = GetLastError();
    *refusal = code ? code : ERROR_ACCESS_DENIED;
    if (job)
        CloseHandle(job);
    return nullptr;
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

// Puts the suspended game into the saver's own job (g_job, made before the
// game; null with `jobRefusal` where the system would not make one), and
// says where the run will learn what the game is. Where the system refuses a
// second job (Windows 7 and before refuse any, Windows 8 and later one with
// limits on the user interface) and the game stayed in the job the system
// started the saver in, that job tells: those of its processes that descend
// from the game, whatever else runs there or joins it later. Where that
// cannot be told reliably, the game is the process the saver started.
RoadChoice TieGameToSaver(DWORD jobRefusal)
{
    if (!g_job && !jobRefusal)
        return {RunRoad::FirstProcess, "no jobs on this system", 0};
    auto assign = LookUpEntry<AssignProcessToJobObjectFn>(Kernel(), "AssignProcessToJobObject");
    if (g_job && assign(g_job, g_game))
        return {RunRoad::OwnJob, "holds everything the game starts", 0};
    const DWORD code = g_job ? GetLastError() : jobRefusal;
    const DWORD refusal = code ? code : ERROR_ACCESS_DENIED;
    if (g_job)
        CloseHandle(g_job);
    g_job = nullptr;
    ProcessIds saversJob;
    if (!ListJobProcesses(nullptr, &saversJob) || !saversJob.Contains(g_gameId))
        return {RunRoad::FirstProcess, "the game is in no job of the saver's", refusal};
    g_lineage = new (std::nothrow) GameLineage;
    if (!g_lineage || !g_lineage->Begin(g_gameId, ProcessCreationTime(g_game), saversJob)) {
        delete g_lineage;
        g_lineage = nullptr;
        return {RunRoad::FirstProcess, "the game's descendants cannot be told", refusal};
    }
    return {RunRoad::SaversJob, "", refusal};
}

// The system's list of attributes for a new process, holding one: the job
// to create it in (Windows 10 and later). Empty where the system has no such
// list or does not know that attribute.
class JobAttribute {
public:
    explicit JobAttribute(HANDLE job) : job_(job)
    {
        auto initialize = LookUpEntry<InitializeProcThreadAttributeListFn>(Kernel(), "InitializeProcThreadAttributeList");
        auto update = LookUpEntry<UpdateProcThreadAttributeFn>(Kernel(), "UpdateProcThreadAttribute");
        // The system says how much room one attribute takes.
        SIZE_T size = 0;
        if (!initialize || !update || initialize(nullptr, 1, 0, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
            !space_.Reserve(static_cast<int>(size / sizeof(ULONG_PTR) + 1)) || !initialize(List(), 1, 0, &size))
            return;
        initialized_ = true;
        made_ = update(List(), 0, kJobListAttribute, &job_, sizeof job_, nullptr, nullptr) != FALSE;
    }
    ~JobAttribute()
    {
        // Not looked up where nothing was made: a failed lookup would put
        // its own error over the start's, which the player is shown.
        if (!initialized_)
            return;
        auto remove = LookUpEntry<DeleteProcThreadAttributeListFn>(Kernel(), "DeleteProcThreadAttributeList");
        if (remove)
            remove(List());
    }
    JobAttribute(const JobAttribute&) = delete;
    JobAttribute& operator=(const JobAttribute&) = delete;

    bool Made() const { return made_; }
    LPPROC_THREAD_ATTRIBUTE_LIST List() { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(space_.Data()); }

private:
    static constexpr DWORD_PTR kJobListAttribute = 0x2000D;  // PROC_THREAD_ATTRIBUTE_JOB_LIST
    HANDLE job_;
    HeapArray<ULONG_PTR> space_;
    bool initialized_ = false;
    bool made_ = false;
};

// Creates the game, in `job` from its first moment when one is given, and
// out of the saver's job where it may leave: where that is refused
// (ERROR_ACCESS_DENIED), the game stays in it and `flags` says so from then on.
BOOL CreateGame(char* commandLine, DWORD* flags, const STARTUPINFOA& startup, HANDLE job, PROCESS_INFORMATION* game)
{
    // STARTUPINFOEXA, which the headers offer only to programs that need Vista.
    struct {
        STARTUPINFOA StartupInfo;
        LPPROC_THREAD_ATTRIBUTE_LIST lpAttributeList;
    } extended = {};
    extended.StartupInfo = startup;  // CreateProcessA takes it as writable
    DWORD extraFlags = 0;
    JobAttribute attribute(job);
    if (job) {
        if (!attribute.Made()) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        extended.StartupInfo.cb = sizeof extended;
        extended.lpAttributeList = attribute.List();
        extraFlags = EXTENDED_STARTUPINFO_PRESENT;
    }
    const auto create = [&] {
        return CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, *flags | extraFlags, nullptr, nullptr,
                              &extended.StartupInfo, game);
    };
    BOOL started = create();
    if (!started && (*flags & CREATE_BREAKAWAY_FROM_JOB) && GetLastError() == ERROR_ACCESS_DENIED) {
        // The job around the saver keeps its processes: the game stays in it.
        TraceDecision({"game stays in the saver's job: leaving it was refused (error 5)"});
        *flags &= ~CREATE_BREAKAWAY_FROM_JOB;
        started = create();
    }
    return started;
}

// Ends the run's parts in the order opposite to their start: the watch, the
// game's lineage, the job (empty by now, or left on purpose: closing its last
// handle ends what it holds), the game's process.
void EndRun()
{
    StopWatchingForPlayer();
    delete g_lineage;
    if (g_job)
        CloseHandle(g_job);
    if (g_game)
        CloseHandle(g_game);
    g_road = RunRoad::None;
    g_game = nullptr;
    g_gameId = 0;
    g_job = nullptr;
    g_lineage = nullptr;
    g_jobEnded = false;
}
}  // namespace

// The run's parts start in this order: the watch (input counts from before
// the game), the saver's own job, the game (held before its first
// instruction, inside that job where the system can create it there), its
// priority, its road (the job, or what else tells what the game is), and only
// then the game's first instruction. A saver killed at any moment after the
// job is made takes a game created inside it along; one created outside it
// (before Windows 10) is at risk only until it is assigned.
BOOL StartGameRun(char* commandLine, const STARTUPINFOA& startup)
{
    const bool windows9x = IsWindows9x() != 0;
    // Passed explicitly: what a child inherits differs between systems.
    const DWORD priorityClass = windows9x ? 0 : GamePriorityClass(GetPriorityClass(GetCurrentProcess()));
    DWORD flags = GameCreationFlags(windows9x, SaverIsInJob()) | priorityClass;
    PROCESS_INFORMATION game = {};
    if (windows9x) {
        if (!CreateGame(commandLine, &flags, startup, nullptr, &game))
            return FALSE;
        g_game = game.hProcess;
        g_gameId = game.dwProcessId;
        TraceDecision({"road: handed over (Windows 95/98)"});
        CloseHandle(game.hThread);
        return TRUE;
    }
    // The watch runs on a thread of its own: however long the start holds
    // this one, no input is lost.
    WatchForPlayer();
    DWORD jobRefusal = 0;
    g_job = CreateEndingJob(&jobRefusal);
    const bool createdInJob = g_job && CreateGame(commandLine, &flags, startup, g_job, &game);
    // Started plainly where the system would not create the game inside the
    // job, whatever it answered (no such attribute before Windows 10, a job
    // it may not nest, a security product's refusal); a game whose own file
    // cannot be started at all is not tried twice.
    const DWORD inJobError = createdInJob ? 0 : GetLastError();
    if (!createdInJob && g_job && IsGameFileError(inJobError)) {
        EndRun();
        SetLastError(inJobError);
        return FALSE;
    }
    if (!createdInJob && !CreateGame(commandLine, &flags, startup, nullptr, &game)) {
        const DWORD code = GetLastError();
        EndRun();
        SetLastError(code);
        return FALSE;
    }
    g_game = game.hProcess;
    g_gameId = game.dwProcessId;
    // Said once more to the game itself, still held before its first
    // instruction: not every system takes the class from the creation flags
    // (Wine does not).
    if (priorityClass && !SetPriorityClass(g_game, priorityClass))
        TraceFailure("giving the game the saver's priority class", GetLastError());
    const RoadChoice choice = createdInJob
                                  ? RoadChoice{RunRoad::OwnJob, "holds everything the game starts, from its creation", 0}
                                  : TieGameToSaver(jobRefusal);
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
    HANDLE running = nullptr;  // a running process of the game, or null while the system cannot say
    DWORD runningId = 0;
    DWORD lastLook = GetTickCount();
    DWORD lookPeriod = kLookAgainMs;
    while (g_road != RunRoad::None) {
        const DWORD now = GetTickCount();
        // The player before the game's end: a game that ends itself on the
        // input may be gone by the time this thread looks.
        HANDLE came = PlayerCameEvent();
        if (phase == Floor::Watching && came && WaitForSingleObject(came, 0) == WAIT_OBJECT_0) {
            phase = Floor::PlayerCame;
            phaseTick = inputTick = now;
            TracePlayersInput();
        }
        SayPlayerWatchNews();
        if (!running || !IsRunning(running)) {
            if (running)
                CloseHandle(running);
            DWORD id = 0;
            const GameNow state = OpenRunningGameProcess(&running, &id);
            lastLook = now;
            lookPeriod = NextLookPeriod(lookPeriod);
            if (state == GameNow::Gone)
                break;  // nothing of the game runs any more
            if (running && id != runningId)
                TraceDecision({"following game process ", DecimalText(id).Text()});
            if (running)
                runningId = id;
        } else if (g_road == RunRoad::SaversJob && now - lastLook >= lookPeriod) {
            // Judges what joined the job while it is there: a helper that
            // starts the game and ends is known as the game's.
            ProcessIds ignored;
            ListGame(&ignored);
            lastLook = now;
            lookPeriod = NextLookPeriod(lookPeriod);
        }
        // Unsigned subtraction: a wrap of the tick count changes nothing.
        DWORD timeLeft = FloorTimeLeft(phase, now - phaseTick);
        if (timeLeft == 0) {
            phase = TakeFloorStep(phase, now - inputTick);
            phaseTick = now;
            timeLeft = FloorTimeLeft(phase, 0);
        }
        const DWORD toNextLook = g_road == RunRoad::SaversJob ? lookPeriod : kLookAgainMs;
        if ((!running || g_road == RunRoad::SaversJob) && timeLeft > toNextLook)
            timeLeft = toNextLook;
        // Sleeps until the followed process ends, the player comes, the watch
        // has news, a message arrives, the floor's next step is due, or (on
        // the saver's job, or while the system cannot say) the next look.
        HANDLE awaited[3];
        DWORD count = 0;
        if (running)
            awaited[count++] = running;
        if (PlayerWatchNewsEvent())
            awaited[count++] = PlayerWatchNewsEvent();
        if (phase == Floor::Watching && came)
            awaited[count++] = came;
        if (MsgWaitForMultipleObjects(count, awaited, FALSE, timeLeft, QS_ALLINPUT) == WAIT_FAILED) {
            TraceFailure("waiting for the game", GetLastError());
            break;  // a handle that cannot be waited on; waiting cannot mend it
        }
        HandlePendingMessages();
    }
    if (running)
        CloseHandle(running);
    // What the watch saw is said before the run's end, once it has stopped.
    StopWatchingForPlayer();
    if (phase == Floor::Watching)
        TracePlayersInput();
    if (followed)
        TraceDecision({"run over, nothing of the game runs"});
    EndRun();
}
