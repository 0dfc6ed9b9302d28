// The saver under the Windows version that ctest names for the run
// (KUBO_WINDOWS_VERSION): that the saver really is told that version, and the
// behaviour that differs between Windows 95/98 and NT, checked on whichever
// side of that line the run stands.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>

#include <string>

#include "tests/support/message_pump.h"
#include "tests/support/preview_host.h"
#include "tests/support/saver_process.h"

namespace {

// The run's version and C runtime are set before the first test of this
// program and taken away after the last.
testing::Environment* const g_runSettings =
    testing::AddGlobalTestEnvironment(new RunSaverSettingsEnvironment);

// Where a function of this process's system DLLs lives in another process:
// the same offset into the module of the same name. Usually the very same
// address, but looked up rather than assumed.
ULONG_PTR AddressInProcess(HANDLE process, FARPROC ours)
{
    HMODULE ourModule = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<const char*>(ours), &ourModule))
        return 0;
    char ourName[MAX_PATH] = "";
    GetModuleBaseNameA(GetCurrentProcess(), ourModule, ourName, sizeof ourName);
    // The module list is read while the other process runs; it fails now and
    // then when the list changes under it, so try again for a while.
    HMODULE modules[256];
    DWORD needed = 0;
    const DWORD start = GetTickCount();
    while (!EnumProcessModules(process, modules, sizeof modules, &needed)) {
        if (GetTickCount() - start > 5000)
            return 0;
        Sleep(20);
    }
    for (DWORD i = 0; i < needed / sizeof modules[0] && i < 256; ++i) {
        char name[MAX_PATH] = "";
        GetModuleBaseNameA(process, modules[i], name, sizeof name);
        if (lstrcmpiA(name, ourName) == 0)
            return reinterpret_cast<ULONG_PTR>(modules[i]) +
                   (reinterpret_cast<ULONG_PTR>(ours) - reinterpret_cast<ULONG_PTR>(ourModule));
    }
    return 0;
}

// Calls GetVersionExA inside another process, on a thread of its own there:
// the function has a thread start routine's shape (one pointer in, a 32-bit
// answer out), so its answer is the thread's exit code. Empty when it
// answered; otherwise the step that failed.
std::string VersionSeenBy(HANDLE process, OSVERSIONINFOA* seen)
{
    const ULONG_PTR entry = AddressInProcess(process, GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetVersionExA"));
    if (!entry)
        return "GetVersionExA not found in the process, error " + std::to_string(GetLastError());
    void* remote = VirtualAllocEx(process, nullptr, sizeof *seen, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return "VirtualAllocEx failed";
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    std::string failure = "WriteProcessMemory failed";
    if (WriteProcessMemory(process, remote, &info, sizeof info, nullptr)) {
        failure = "CreateRemoteThread failed";
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(entry),
                                           remote, 0, nullptr);
        if (thread) {
            DWORD code = 0;
            failure = "the call did not end in time";
            if (WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code)) {
                failure = code ? "ReadProcessMemory failed" : "GetVersionExA answered FALSE";
                if (code && ReadProcessMemory(process, remote, seen, sizeof *seen, nullptr))
                    failure.clear();
            }
            CloseHandle(thread);
        }
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return failure;
}

TEST(WindowsVersion, TheSaverIsToldTheVersionTheRunAsksFor)
{
    struct Expected { const char* version; DWORD major, minor, platform; } table[] = {
        {"win98", 4, 10, VER_PLATFORM_WIN32_WINDOWS},
        {"nt40", 4, 0, VER_PLATFORM_WIN32_NT},
        {"winxp", 5, 1, VER_PLATFORM_WIN32_NT},
        {"win7", 6, 1, VER_PLATFORM_WIN32_NT},
        // Windows 10 tells a program without a compatibility manifest that it
        // runs on Windows 8, and Wine does the same.
        {"win10", 6, 2, VER_PLATFORM_WIN32_NT},
    };
    const std::string version = RunWindowsVersion();
    const Expected* expected = nullptr;
    for (const Expected& row : table)
        if (version == row.version)
            expected = &row;
    if (!expected)
        GTEST_SKIP() << "no expectation for KUBO_WINDOWS_VERSION=\"" << version << '"';

    PreviewHost host;
    SaverProcess saver("/p " + host.Handle());
    ASSERT_NE(nullptr, host.WaitForPreview(saver));
    OSVERSIONINFOA seen = {};
    ASSERT_EQ("", VersionSeenBy(saver.Handle(), &seen));
    EXPECT_EQ(expected->major, seen.dwMajorVersion) << version;
    EXPECT_EQ(expected->minor, seen.dwMinorVersion) << version;
    EXPECT_EQ(expected->platform, seen.dwPlatformId) << version;
}

// Windows 95/98 asks the foreground window whether to cancel an AutoPlay; the
// saver registers that question there only, and closes on it, preview or not.
TEST(WindowsVersion, TheAutoPlayQuestionEndsAPreviewOnlyOnWindows9x)
{
    PreviewHost host;
    SaverProcess saver("/p " + host.Handle());
    HWND preview = host.WaitForPreview(saver);
    ASSERT_NE(nullptr, preview);

    DWORD_PTR answer = 99;
    ASSERT_TRUE(SendMessageTimeoutA(preview, RegisterWindowMessageA("QueryCancelAutoPlay"), 0, 0, SMTO_NORMAL,
                                    10000, &answer));
    EXPECT_EQ(0u, answer) << "no password lock: AutoPlay may go on";
    // Posted after the question: it reaches us only once whatever the
    // question posted in the saver has been handled.
    PostMessageA(preview, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(preview), MAKELPARAM(5, 5));
    if (RunIsWindows9x()) {
        ASSERT_TRUE(saver.WaitPumpingMessages(15000)) << "the preview did not close";
        EXPECT_EQ(0u, saver.ExitCode());
        EXPECT_EQ(0, PreviewHost::s_menu.count) << "the preview closed before it";
    } else {
        ASSERT_TRUE(PumpUntil([&] { return PreviewHost::s_menu.count == 1 || saver.Wait(0); }, 15000));
        EXPECT_EQ(1, PreviewHost::s_menu.count);
        EXPECT_TRUE(IsWindow(preview));
        EXPECT_FALSE(saver.Wait(0));
    }
}

}  // namespace
