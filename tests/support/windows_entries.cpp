#include "tests/support/windows_entries.h"

#include <cstring>

#include "tests/support/remote_patch.h"
#include "tests/support/saver_process.h"

namespace {
// The NT family's releases in order, as far as the table needs them.
enum Release { kNt40, kWindows2000, kWindowsXp, kVista, kWindows7, kWindows81, kWindows10v1607, kWindows10v1703 };

struct RunTimeEntry {
    const char* entry;  // an entry, or a library looked up by its name
    Release first;
};

// The table: each entry with the first Windows that has it, from its documentation.
const RunTimeEntry kEntries[] = {
    {"CreateToolhelp32Snapshot", kWindows2000}, {"Process32First", kWindows2000}, {"Process32Next", kWindows2000},
    {"CreateJobObjectA", kWindows2000}, {"AssignProcessToJobObject", kWindows2000},
    {"SetInformationJobObject", kWindows2000}, {"QueryInformationJobObject", kWindows2000},
    {"TerminateJobObject", kWindows2000}, {"GetLastInputInfo", kWindows2000}, {"GetMouseMovePointsEx", kWindows2000},
    {"IsProcessInJob", kWindowsXp}, {"IsWow64Process", kWindowsXp}, {"InitializeProcThreadAttributeList", kVista},
    {"UpdateProcThreadAttribute", kVista}, {"DeleteProcThreadAttributeList", kVista}, {"SetProcessDPIAware", kVista},
    {"IsProcessDPIAware", kVista}, {"GetPhysicalCursorPos", kVista}, {"shcore.dll", kWindows81},
    {"SetThreadDpiAwarenessContext", kWindows10v1607}, {"GetWindowDpiAwarenessContext", kWindows10v1607},
    {"GetAwarenessFromDpiAwarenessContext", kWindows10v1607}, {"GetDpiForWindow", kWindows10v1607},
    {"SetProcessDpiAwarenessContext", kWindows10v1703}, {"SetDialogDpiChangeBehavior", kWindows10v1703},
};

// The release the run's emulated version stands for; false for none of the
// NT family. Wine's win10 stands for the newest, with every entry.
bool RunRelease(Release* release)
{
    const struct { const char* name; Release release; } kVersions[] = {
        {"nt40", kNt40}, {"winxp", kWindowsXp}, {"win7", kWindows7}, {"win81", kWindows81},
        {"win10", kWindows10v1703},
    };
    for (const auto& v : kVersions) {
        if (RunWindowsVersion() == v.name) {
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
    std::string failed;
    for (const RunTimeEntry& e : kEntries) {
        if (RunRelease(&release) && e.first > release)
            failed += HideEntries(process, image, {e.entry});
    }
    return failed;
}

bool RunLacksEntry(const char* entry)
{
    Release release;
    for (const RunTimeEntry& e : kEntries) {
        if ((!entry || strcmp(e.entry, entry) == 0) && RunRelease(&release) && e.first > release)
            return true;
    }
    return false;
}
