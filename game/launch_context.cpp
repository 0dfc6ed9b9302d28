#include "game/launch_context.h"

#include "common/entry_lookup.h"
#include "common/handles.h"

namespace {
// Looked up at run time: a static import that Windows 95/98 or NT 4.0 lack
// would keep the loader from starting the saver at all.
using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE*);
using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*);
using IsProcessInJobFn = BOOL(WINAPI*)(HANDLE, HANDLE, BOOL*);
using CreateJobObjectFn = HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, const char*);
using SetInformationJobObjectFn = BOOL(WINAPI*)(HANDLE, JOBOBJECTINFOCLASS, void*, DWORD);
using AssignProcessToJobObjectFn = BOOL(WINAPI*)(HANDLE, HANDLE);

// The job the game runs in: made when the game starts and never closed by
// the saver. The system closes it when the saver's process ends, however it
// ends, and the job then ends the game with everything it started.
HANDLE g_gameJob;

constexpr BYTE kNtAuthority[6] = {0, 0, 0, 0, 0, 5};
constexpr DWORD kLocalSystemRid = 18;
constexpr DWORD kNetworkServiceRid = 20;

// TOKEN_USER followed by room for its SID, which the call stores behind it.
union TokenUserBuffer {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

HMODULE Kernel() { return GetModuleHandleA("KERNEL32.DLL"); }

// A job that ends its processes when its last handle closes; null where the
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

// Puts the suspended game into the saver's own job, made on first use.
void TieGameToSaver(HANDLE game)
{
    auto assign = LookUpEntry<AssignProcessToJobObjectFn>(Kernel(), "AssignProcessToJobObject");
    if (!assign)
        return;
    if (!g_gameJob)
        g_gameJob = CreateEndingJob();
    if (g_gameJob)
        assign(g_gameJob, game);  // refused: the game runs without, as it did before
}

BOOL CreateGame(char* commandLine, DWORD flags, const STARTUPINFOA& startup, PROCESS_INFORMATION* game)
{
    STARTUPINFOA copy = startup;  // CreateProcessA takes it as writable
    return CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, flags, nullptr, nullptr, &copy, game);
}
}  // namespace

DWORD GameCreationFlags(bool windows9x, bool saverInJob)
{
    if (windows9x)
        return CREATE_DEFAULT_ERROR_MODE;
    return CREATE_DEFAULT_ERROR_MODE | CREATE_SUSPENDED | (saverInJob ? CREATE_BREAKAWAY_FROM_JOB : 0);
}

bool SaverIsInJob()
{
    auto isInJob = LookUpEntry<IsProcessInJobFn>(Kernel(), "IsProcessInJob");
    BOOL inJob = FALSE;
    return isInJob && isInJob(GetCurrentProcess(), nullptr, &inJob) && inJob;
}

BOOL StartGameProcess(char* commandLine, DWORD flags, const STARTUPINFOA& startup, PROCESS_INFORMATION* game)
{
    BOOL started = CreateGame(commandLine, flags, startup, game);
    if (!started && (flags & CREATE_BREAKAWAY_FROM_JOB) && GetLastError() == ERROR_ACCESS_DENIED) {
        // The job around the saver keeps its processes: the game stays in it.
        flags &= ~CREATE_BREAKAWAY_FROM_JOB;
        started = CreateGame(commandLine, flags, startup, game);
    }
    if (!started || !(flags & CREATE_SUSPENDED))
        return started;
    TieGameToSaver(game->hProcess);
    if (ResumeThread(game->hThread) != static_cast<DWORD>(-1))
        return TRUE;
    // A game that cannot be let go would hold the saver for ever.
    const DWORD code = GetLastError();
    TerminateProcess(game->hProcess, code);
    CloseHandle(game->hThread);
    CloseHandle(game->hProcess);
    *game = PROCESS_INFORMATION();
    SetLastError(code);
    return FALSE;
}

bool IsServiceAccountSid(const SID* user)
{
    if (!user || user->Revision != SID_REVISION || user->SubAuthorityCount != 1)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (user->IdentifierAuthority.Value[i] != kNtAuthority[i])
            return false;
    }
    const DWORD rid = user->SubAuthority[0];
    return rid >= kLocalSystemRid && rid <= kNetworkServiceRid;
}

bool RunsAsServiceAccount()
{
    HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
    auto openToken = LookUpEntry<OpenProcessTokenFn>(advapi, "OpenProcessToken");
    auto getInformation = LookUpEntry<GetTokenInformationFn>(advapi, "GetTokenInformation");
    if (!openToken || !getInformation)
        return false;
    HANDLE opened = nullptr;
    if (!openToken(GetCurrentProcess(), TOKEN_QUERY, &opened))
        return false;
    KernelHandle token(opened);
    TokenUserBuffer buffer;
    DWORD length = 0;
    if (!getInformation(token.Get(), TokenUser, &buffer, sizeof buffer, &length))
        return false;
    return IsServiceAccountSid(static_cast<const SID*>(buffer.user.User.Sid));
}
