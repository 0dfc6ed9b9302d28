#include "run/game_processes.h"

#include <tlhelp32.h>

#include "common/entry_lookup.h"
#include "common/handles.h"

namespace {
// Looked up at run time: Windows 95/98 and NT 4.0 lack jobs, NT 4.0 lacks
// Toolhelp, and a static import would keep them from loading the saver.
using CreateToolhelp32SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Process32Fn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
// An NT-family call: looked up, so that the image loads on Windows 95 whatever it exports.
using GetProcessTimesFn = BOOL(WINAPI*)(HANDLE, FILETIME*, FILETIME*, FILETIME*, FILETIME*);

// A job list asked for this many times and grown in between each time.
constexpr int kListAttempts = 8;

HMODULE Kernel() { return GetModuleHandleA("KERNEL32.DLL"); }

// Every process of the system with its parent, as Toolhelp lists them.
struct ParentLink {
    DWORD id;
    DWORD parentId;
};

bool ListParents(HeapArray<ParentLink>* out)
{
    auto snapshotOf = LookUpEntry<CreateToolhelp32SnapshotFn>(Kernel(), "CreateToolhelp32Snapshot");
    auto first = LookUpEntry<Process32Fn>(Kernel(), "Process32First");
    auto next = LookUpEntry<Process32Fn>(Kernel(), "Process32Next");
    if (!snapshotOf || !first || !next)
        return false;
    HANDLE taken = snapshotOf(TH32CS_SNAPPROCESS, 0);
    if (taken == INVALID_HANDLE_VALUE)
        return false;
    KernelHandle snapshot(taken);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = first(snapshot.Get(), &entry); more; more = next(snapshot.Get(), &entry)) {
        if (!out->Add(ParentLink{entry.th32ProcessID, entry.th32ParentProcessID}))
            return false;
    }
    return out->Count() > 0;
}

const ParentLink* FindLink(const HeapArray<ParentLink>& links, DWORD id)
{
    for (int i = 0; i < links.Count(); ++i) {
        if (links[i].id == id)
            return &links[i];
    }
    return nullptr;
}

// The sizing of ListJobProcesses, around the query it is given.
bool ListJobProcessesThrough(QueryInformationJobObjectFn query, HANDLE job, ProcessIds* out)
{
    out->Clear();
    if (!query)
        return false;
    DWORD room = 64;
    for (int attempt = 0; attempt < kListAttempts; ++attempt) {
        // The list's header, then one slot per process.
        HeapArray<ULONG_PTR> buffer;
        const DWORD headerSlots = sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) / sizeof(ULONG_PTR);
        if (!buffer.Reserve(static_cast<int>(headerSlots + room)))
            return false;
        auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.Data());
        list->NumberOfAssignedProcesses = 0;
        list->NumberOfProcessIdsInList = 0;
        const DWORD bytes = (headerSlots + room) * sizeof(ULONG_PTR);
        const BOOL answered = query(job, JobObjectBasicProcessIdList, list, bytes, nullptr);
        if (!answered && GetLastError() != ERROR_MORE_DATA)
            return false;
        // A list that does not fit comes back cut, or empty (Windows 7), or
        // with both counts 0 (a 32-bit process on 64-bit Windows 10): only a
        // whole answer counts, and the next try has more room.
        const DWORD listed = list->NumberOfProcessIdsInList < room ? list->NumberOfProcessIdsInList : room;
        if (answered && listed >= list->NumberOfAssignedProcesses) {
            for (DWORD i = 0; i < listed; ++i) {
                if (!out->Add(static_cast<DWORD>(list->ProcessIdList[i])))
                    return false;
            }
            return true;
        }
        // Twice as many as the job's own count, or as the last try where
        // it says none: the job may grow while the list is asked for again.
        const DWORD wanted = list->NumberOfAssignedProcesses * 2 + 16;
        room = wanted > room * 2 ? wanted : room * 2;
    }
    return false;
}

// A process opened to be held and asked its creation time; where the
// right to ask is refused (another user's, a protected one), to be held
// alone. The limited right came with Vista; before it, the full one.
HANDLE OpenToJudge(DWORD id)
{
    static const DWORD kRights[] = {PROCESS_QUERY_LIMITED_INFORMATION, PROCESS_QUERY_INFORMATION, 0};
    for (DWORD right : kRights) {
        if (HANDLE process = OpenProcess(SYNCHRONIZE | right, FALSE, id))
            return process;
    }
    return nullptr;
}

// The creation time of whatever process has the id now (0: unknown, or none).
ULONGLONG ParentCreationTime(DWORD id)
{
    KernelHandle process(OpenToJudge(id));
    return ProcessCreationTime(process.Get());
}

}  // namespace

bool ListJobProcesses(HANDLE job, ProcessIds* out)
{
    return ListJobProcessesThrough(LookUpEntry<QueryInformationJobObjectFn>(Kernel(), "QueryInformationJobObject"),
                                   job, out);
}

bool CountJobProcesses(HANDLE job, DWORD* running)
{
    auto query = LookUpEntry<QueryInformationJobObjectFn>(Kernel(), "QueryInformationJobObject");
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (!query || !query(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr))
        return false;
    *running = accounting.ActiveProcesses;
    return true;
}

bool ListJobProcessesForTest(QueryInformationJobObjectFn query, HANDLE job, ProcessIds* out)
{
    return ListJobProcessesThrough(query, job, out);
}


bool DescendsFromGame(const ProcessOrigin& process, ULONGLONG gameCreated, const ProcessIds& game,
                      const ProcessIds& others)
{
    if (game.Contains(process.id) || others.Contains(process.id))
        return game.Contains(process.id);
    // The system's times are coarse: a child may bear its parent's.
    const bool parentCameLater = process.created && process.parentCreated && process.parentCreated > process.created;
    if (!parentCameLater) {
        if (game.Contains(process.parentId) || others.Contains(process.parentId))
            return game.Contains(process.parentId);
        if (process.parentListed)
            return false;
    }
    if (process.created && gameCreated)
        return process.created >= gameCreated;
    return true;
}

ULONGLONG ProcessCreationTime(HANDLE process)
{
    auto timesOf = LookUpEntry<GetProcessTimesFn>(Kernel(), "GetProcessTimes");
    FILETIME created, exited, kernel, user;
    if (!process || !timesOf || !timesOf(process, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

GameLineage::~GameLineage()
{
    for (int i = 0; i < held_.Count(); ++i)
        CloseHandle(held_[i].handle);
}

bool GameLineage::Begin(DWORD gameId, ULONGLONG gameCreated, const ProcessIds& jobNow)
{
    HeapArray<ParentLink> parents;
    if (!ListParents(&parents) || !game_.Add(gameId))
        return false;
    gameCreated_ = gameCreated;
    ULONGLONG ignored = 0;
    HoldOpen(gameId, &ignored);  // to tell whether it still runs
    // The game is still held before its first instruction: nothing in the
    // job now is its. One that cannot be held open still never counts.
    for (int i = 0; i < jobNow.Count(); ++i) {
        if (jobNow[i] == gameId)
            continue;
        if (!others_.Add(jobNow[i]))
            return false;
        HoldOpen(jobNow[i], &ignored);
    }
    return true;
}

bool GameLineage::IsJudged(DWORD id) const { return game_.Contains(id) || others_.Contains(id) || gone_.Contains(id); }

const HeldProcess* GameLineage::Held(DWORD id) const
{
    for (int i = 0; i < held_.Count(); ++i) {
        if (held_[i].id == id)
            return &held_[i];
    }
    return nullptr;
}

// Judges every process of the job not judged yet; false where the system
// cannot say this time.
bool GameLineage::Judge(const ProcessIds& jobNow)
{
    bool judged = true;
    for (int i = 0; i < jobNow.Count() && judged; ++i)
        judged = IsJudged(jobNow[i]);
    if (judged)
        return true;
    judgedNew_ = true;
    HeapArray<ParentLink> parents;
    if (!ListParents(&parents))
        return false;
    // A grandchild may be listed before its parent: look again while the
    // lineage grows; what is left once it stops is another's.
    for (bool grew = true; grew;) {
        grew = false;
        for (int i = 0; i < jobNow.Count(); ++i) {
            const DWORD id = jobNow[i];
            const ParentLink* link = FindLink(parents, id);
            if (IsJudged(id) || !link)
                continue;  // judged, or gone from the system's list already: judged at a later look
            ULONGLONG created = 0;
            if (!HoldOpen(id, &created)) {
                // Neither to be followed nor to be ended, and its id could
                // pass to another: gone for the run, whoever's it was.
                if (!gone_.Add(id))
                    return false;
                continue;
            }
            const HeldProcess* heldParent = Held(link->parentId);
            const ProcessOrigin origin = {id, link->parentId, FindLink(parents, link->parentId) != nullptr, created,
                                          heldParent ? ProcessCreationTime(heldParent->handle)
                                                     : ParentCreationTime(link->parentId)};
            if (!DescendsFromGame(origin, gameCreated_, game_, others_))
                continue;
            if (!game_.Add(id))
                return false;
            grew = true;
        }
    }
    for (int i = 0; i < jobNow.Count(); ++i) {
        const DWORD id = jobNow[i];
        // Held open above; judged the game's or not at all means another's.
        if (!IsJudged(id) && Held(id) && !others_.Add(id))
            return false;
    }
    return true;
}

bool GameLineage::List(const ProcessIds& jobNow, ProcessIds* game)
{
    game->Clear();
    judgedNew_ = false;
    if (!Judge(jobNow))
        return false;
    for (int i = 0; i < jobNow.Count(); ++i) {
        // An ended process stays listed while handles to it are open, and
        // the lineage holds one.
        const HeldProcess* held = Held(jobNow[i]);
        const bool runs = !held || WaitForSingleObject(held->handle, 0) == WAIT_TIMEOUT;
        if (game_.Contains(jobNow[i]) && runs && !game->Add(jobNow[i]))
            return false;
    }
    return true;
}

bool GameLineage::HoldOpen(DWORD id, ULONGLONG* created)
{
    *created = 0;
    if (const HeldProcess* held = Held(id)) {
        *created = ProcessCreationTime(held->handle);
        return true;
    }
    HANDLE process = OpenToJudge(id);
    if (!process)
        return false;
    if (!held_.Add(HeldProcess{id, process})) {
        CloseHandle(process);
        return false;
    }
    *created = ProcessCreationTime(process);
    return true;
}
