#include "tests/support/saver_process.h"

#include "common/entry_lookup.h"
#include "tests/support/password_standins.h"
#include "tests/support/windows_entries.h"

#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const char kAppDefaultsKey[] = "Software\\Wine\\AppDefaults\\kubotrax.scr";

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> windows;
};

std::string ReadEmulatedVersion()
{
    char version[32] = "";
    DWORD size = sizeof version - 1;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kAppDefaultsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    if (RegQueryValueExA(key, "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(version), &size) !=
        ERROR_SUCCESS)
        version[0] = '\0';
    RegCloseKey(key);
    return version;
}

// RegDeleteKeyA takes a key's values with it; only a key left with none goes.
void DeleteKeyIfEmpty(const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    DWORD subkeys = 1;
    DWORD values = 1;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    if (subkeys == 0 && values == 0)
        RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

// Sets a text value of Wine's settings for kubotrax.scr alone, in the
// program's key or a subkey of it; a null value removes it, and the keys go
// once empty.
void WriteSaverSetting(const char* subkey, const char* name, const char* value)
{
    const std::string path = *subkey ? std::string(kAppDefaultsKey) + "\\" + subkey : kAppDefaultsKey;
    HKEY key;
    if (!value) {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, name);
            RegCloseKey(key);
        }
        DeleteKeyIfEmpty(path);
        DeleteKeyIfEmpty(kAppDefaultsKey);
        return;
    }
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(strlen(value) + 1));
    RegCloseKey(key);
}

// Empty: no version of its own, Wine's default applies.
void WriteEmulatedVersion(const std::string& version)
{
    WriteSaverSetting("", "Version", version.empty() ? nullptr : version.c_str());
}

// The saver as built, beside this program.
std::string BuiltSaverPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    folder.resize(folder.rfind('\\') + 1);
    return folder + "kubotrax.scr";
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId)
        search->windows.push_back(window);
    return TRUE;
}
}  // namespace

std::string SaverPath()
{
    return RunUsesStandInCRuntime() ? FixtureFolder("c_runtime") + "\\kubotrax.scr" : BuiltSaverPath();
}

namespace {
// Where a process created held has its image, from its process block (whose
// third pointer it is): there before a line of the process has run.
void* ImageOfHeldProcess(HANDLE process)
{
    using QueryFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    const auto query = LookUpEntry<QueryFn>(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic = {};
    void* image = nullptr;
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
        !ReadProcessMemory(process, reinterpret_cast<void**>(basic.PebBaseAddress) + 2, &image, sizeof image, nullptr))
        return nullptr;
    return image;
}
}  // namespace

SaverProcess::SaverProcess(const std::string& tail, bool captureDebugOutput)
    : SaverProcess(tail, captureDebugOutput, SaverPath())
{
}

SaverProcess::SaverProcess(const std::string& tail, bool captureDebugOutput,
                           const std::string& saverPath, const char* desktop, HANDLE job, DWORD priorityClass)
{
    std::string commandLine = "\"" + saverPath + "\"";
    if (!tail.empty())
        commandLine += " " + tail;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    std::string desktopName = desktop ? desktop : "";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop ? &desktopName[0] : nullptr;
    // Under a Windows that lacks some of the saver's run-time entries, every
    // saver starts held, to have them made missing before its first line.
    const bool hides = RunLacksEntry();
    const bool held = job || priorityClass || hides;
    const DWORD flags = (captureDebugOutput ? DEBUG_ONLY_THIS_PROCESS : 0) | (held ? CREATE_SUSPENDED : 0) |
                        priorityClass;
    // Wine now and then fails to start a process at all under load, before
    // a line of it runs; that start is tried again, and said on stderr.
    for (int attempt = 1; !CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                                          &startup, &info_); ++attempt) {
        const DWORD error = GetLastError();
        info_ = {};
        if (attempt == 3) {
            ADD_FAILURE() << "the saver did not start: error " << error;
            break;
        }
        std::fprintf(stderr, "the saver did not start (error %lu); starting it again\n", error);
    }
    if (held && info_.hProcess) {
        image_ = ImageOfHeldProcess(info_.hProcess);
        if (hides) {
            EXPECT_EQ("", HideEntriesTheRunsWindowsLacks(info_.hProcess, image_));
        }
        if (job) {
            EXPECT_TRUE(AssignProcessToJobObject(job, info_.hProcess)) << "error " << GetLastError();
        }
        // Wine takes no class from the creation flags.
        if (priorityClass) {
            EXPECT_TRUE(SetPriorityClass(info_.hProcess, priorityClass)) << "error " << GetLastError();
        }
        ResumeThread(info_.hThread);
    }
    debugging_ = captureDebugOutput && info_.hProcess;
}

SaverProcess::~SaverProcess()
{
    if (!Started())
        return;
    if (!ended_)
        Kill();
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool SaverProcess::PumpDebugEvents(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, timeoutMs - elapsed))
            return false;
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT: {
            const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
            std::string text(info.nDebugStringLength, '\0');
            SIZE_T got = 0;
            ReadProcessMemory(info_.hProcess, info.lpDebugStringData, &text[0], text.size(), &got);
            text.resize(got);
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            debugStrings_.push_back(text);
            if (observer_)
                observer_(text);
            break;
        }
        case EXCEPTION_DEBUG_EVENT: {
            const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
            if (record.ExceptionCode != EXCEPTION_BREAKPOINT) {
                status = DBG_EXCEPTION_NOT_HANDLED;
            } else if (IsExitBreakpoint(record)) {
                exitObserved_ = true;
                exitObserver_();
                StepOverExitBreakpoint(event.dwThreadId);
            } else if (!started_) {
                // The loader's own breakpoint: the imports are in place now.
                started_ = true;
                if (patch_)
                    patchOutcome_ = patch_();
                if (exitObserver_)
                    PlantExitBreakpoint();
            }
            break;
        }
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile)
                CloseHandle(event.u.LoadDll.hFile);
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            image_ = event.u.CreateProcessInfo.lpBaseOfImage;
            if (event.u.CreateProcessInfo.hFile)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            exitCode_ = event.u.ExitProcess.dwExitCode;
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            WaitForSingleObject(info_.hProcess, 5000);
            return true;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
}

void SaverProcess::PlantExitBreakpoint()
{
    // System libraries sit at the same address in every process here, so
    // ExitProcess is where this process has it; the bytes are compared to be
    // sure before anything is written.
    BYTE* entry = reinterpret_cast<BYTE*>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "ExitProcess")));
    BYTE theirs[16];
    SIZE_T got = 0;
    if (!entry || !ReadProcessMemory(info_.hProcess, entry, theirs, sizeof theirs, &got) || got != sizeof theirs ||
        memcmp(theirs, entry, sizeof theirs) != 0)
        return;
    const BYTE breakpoint = 0xCC;
    if (!WriteProcessMemory(info_.hProcess, entry, &breakpoint, 1, nullptr))
        return;
    FlushInstructionCache(info_.hProcess, entry, 1);
    exitEntry_ = entry;
    exitEntryByte_ = theirs[0];
}

bool SaverProcess::IsExitBreakpoint(const EXCEPTION_RECORD& record) const
{
    const BYTE* at = static_cast<const BYTE*>(record.ExceptionAddress);
    return exitEntry_ && !exitObserved_ && (at == exitEntry_ || at == exitEntry_ + 1);
}

void SaverProcess::StepOverExitBreakpoint(DWORD threadId)
{
    // Put the instruction back and run it as if nothing had stopped there.
    WriteProcessMemory(info_.hProcess, exitEntry_, &exitEntryByte_, 1, nullptr);
    FlushInstructionCache(info_.hProcess, exitEntry_, 1);
    HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, threadId);
    if (!thread)
        return;
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    if (GetThreadContext(thread, &context)) {
#ifdef _WIN64
        context.Rip = reinterpret_cast<ULONG_PTR>(exitEntry_);
#else
        context.Eip = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(exitEntry_));
#endif
        SetThreadContext(thread, &context);
    }
    CloseHandle(thread);
}

bool SaverProcess::Wait(DWORD timeoutMs)
{
    if (!Started())
        return false;
    if (ended_)
        return true;
    if (debugging_) {
        ended_ = PumpDebugEvents(timeoutMs);
        return ended_;
    }
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(info_.hProcess, &exitCode_);
    ended_ = true;
    return true;
}

bool SaverProcess::WaitPumpingMessages(DWORD timeoutMs)
{
    if (!Started() || debugging_)
        return false;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return Wait(0);
        const DWORD woken =
            MsgWaitForMultipleObjects(1, &info_.hProcess, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0)
            return Wait(0);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
}

void SaverProcess::Kill()
{
    if (!Started() || ended_)
        return;
    TerminateProcess(info_.hProcess, 0xDEAD);
    if (debugging_) {
        DebugActiveProcessStop(info_.dwProcessId);
        debugging_ = false;
    }
    WaitForSingleObject(info_.hProcess, 5000);
    ended_ = true;
    exitCode_ = STILL_ACTIVE;
}

DWORD RunSaver(const std::string& tail, DWORD timeoutMs)
{
    SaverProcess saver(tail);
    if (!saver.Started())
        return 0xBADBAD;
    return saver.Wait(timeoutMs) ? saver.ExitCode() : STILL_ACTIVE;
}

std::vector<HWND> TopLevelWindowsOf(DWORD processId)
{
    WindowSearch search = {processId, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

HWND WaitForWindowOf(DWORD processId, const char* className, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do {
        for (HWND window : TopLevelWindowsOf(processId)) {
            char name[256] = "";
            GetClassNameA(window, name, sizeof name);
            if (!className || lstrcmpiA(name, className) == 0)
                return window;
        }
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

EmulatedWindowsVersion::EmulatedWindowsVersion(const char* version)
    : previous_(ReadEmulatedVersion())
{
    WriteEmulatedVersion(version);
}

EmulatedWindowsVersion::~EmulatedWindowsVersion() { WriteEmulatedVersion(previous_); }

std::string RunWindowsVersion()
{
    const char* version = std::getenv("KUBO_WINDOWS_VERSION");
    return version ? version : "";
}

bool RunIsWindows9x()
{
    const std::string version = RunWindowsVersion();
    return version == "win95" || version == "win98" || version == "winme";
}

bool RunIs64BitWindows()
{
    const char* windows64 = std::getenv("KUBO_64BIT_WINDOWS");
    return windows64 && *windows64;
}

bool RunUsesStandInCRuntime()
{
    const char* standIn = std::getenv("KUBO_STANDIN_C_RUNTIME");
    return standIn && *standIn;
}

void RunSaverSettingsEnvironment::SetUp()
{
    WriteEmulatedVersion(RunWindowsVersion());
    if (RunUsesStandInCRuntime()) {
        // Wine looks beside the program first; the override applies to the
        // saver's process alone, not to this program or the stand-in game.
        CopyFileA(BuiltSaverPath().c_str(), SaverPath().c_str(), FALSE);
        WriteSaverSetting("DllOverrides", "msvcrt", "native");
    }
}

void RunSaverSettingsEnvironment::TearDown()
{
    WriteSaverSetting("DllOverrides", "msvcrt", nullptr);
    WriteEmulatedVersion("");
}
