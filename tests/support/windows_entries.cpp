#include "tests/support/windows_entries.h"

#include <cstring>

#include "tests/support/remote_patch.h"
#include "tests/support/saver_process.h"

namespace {
// The NT family's releases in order, as far as the table needs them.
enum Release { kNt40, kWindows2000, kWindowsXp, kVista, kWindows7, kWindows81, kWindows10v1607, kWindows10v1703 };

struct RunTimeEntry {
    const char* library;
    const char* entry;  // or the library itself, looked up by its name
    Release first;
};

// The table: one line an entry, from the entries' documentation.
const RunTimeEntry kEntries[] = {
    {"kernel32.dll", "CreateToolhelp32Snapshot", kWindows2000},
    {"kernel32.dll", "Process32First", kWindows2000},
    {"kernel32.dll", "Process32Next", kWindows2000},
    {"kernel32.dll", "CreateJobObjectA", kWindows2000},
    {"kernel32.dll", "AssignProcessToJobObject", kWindows2000},
    {"kernel32.dll", "SetInformationJobObject", kWindows2000},
    {"kernel32.dll", "QueryInformationJobObject", kWindows2000},
    {"kernel32.dll", "TerminateJobObject", kWindows2000},
    {"user32.dll", "GetLastInputInfo", kWindows2000},
    {"user32.dll", "GetMouseMovePointsEx", kWindows2000},
    {"kernel32.dll", "IsProcessInJob", kWindowsXp},
    {"kernel32.dll", "IsWow64Process", kWindowsXp},
    {"kernel32.dll", "InitializeProcThreadAttributeList", kVista},
    {"kernel32.dll", "UpdateProcThreadAttribute", kVista},
    {"kernel32.dll", "DeleteProcThreadAttributeList", kVista},
    {"user32.dll", "SetProcessDPIAware", kVista},
    {"user32.dll", "IsProcessDPIAware", kVista},
    {"user32.dll", "GetPhysicalCursorPos", kVista},
    {"shcore.dll", "shcore.dll", kWindows81},
    {"user32.dll", "SetThreadDpiAwarenessContext", kWindows10v1607},
    {"user32.dll", "GetWindowDpiAwarenessContext", kWindows10v1607},
    {"user32.dll", "GetAwarenessFromDpiAwarenessContext", kWindows10v1607},
    {"user32.dll", "GetDpiForWindow", kWindows10v1607},
    {"user32.dll", "SetProcessDpiAwarenessContext", kWindows10v1703},
    {"user32.dll", "SetDialogDpiChangeBehavior", kWindows10v1703},
};

// The release each emulated version stands for; false for none of the NT
// family. Wine's win10 stands for the newest, with every entry.
bool ReleaseOf(const std::string& version, Release* release)
{
    const struct { const char* name; Release release; } kVersions[] = {
        {"nt40", kNt40}, {"winxp", kWindowsXp}, {"win7", kWindows7}, {"win81", kWindows81},
        {"win10", kWindows10v1703},
    };
    for (const auto& v : kVersions) {
        if (version == v.name) {
            *release = v.release;
            return true;
        }
    }
    return false;
}
}  // namespace

std::string HideEntriesTheRunsWindowsLacks(HANDLE process, void* image)
{
    Release release;
    if (!ReleaseOf(RunWindowsVersion(), &release))
        return "";
    std::string failed;
    for (const RunTimeEntry& e : kEntries) {
        if (e.first > release)
            failed += HideEntries(process, image, {e.entry});
    }
    return failed;
}

bool RunLacksEntries()
{
    Release release;
    return ReleaseOf(RunWindowsVersion(), &release) && release < kWindows10v1703;
}

bool RunLacksEntry(const char* entry)
{
    Release release;
    if (!ReleaseOf(RunWindowsVersion(), &release))
        return false;
    for (const RunTimeEntry& e : kEntries) {
        if (strcmp(e.entry, entry) == 0)
            return e.first > release;
    }
    return false;
}
