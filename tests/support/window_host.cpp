#include "tests/support/window_host.h"

#include <vector>

#include "tests/support/password_standins.h"
#include "tests/support/saver_process.h"

namespace {
const char kHostClass[] = "KuboTestHost";

// The host's window: a top-level one, or among the message-only windows.
HWND FindHostWindow(DWORD processId)
{
    for (HWND window : TopLevelWindowsOf(processId)) {
        char name[64] = "";
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpA(name, kHostClass) == 0)
            return window;
    }
    for (HWND window = FindWindowExA(HWND_MESSAGE, nullptr, kHostClass, nullptr); window;
         window = FindWindowExA(HWND_MESSAGE, window, kHostClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId)
            return window;
    }
    return nullptr;
}
}  // namespace

WindowHost::WindowHost(const char* behaviour)
{
    std::string commandLine = "\"" + FixtureFolder("window_host") + "\\window_host.exe\" " + behaviour;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
        info_ = {};
        return;
    }
    const DWORD start = GetTickCount();
    while (!(window_ = FindHostWindow(info_.dwProcessId)) && GetTickCount() - start < 15000 &&
           WaitForSingleObject(info_.hProcess, 20) == WAIT_TIMEOUT) {
    }
}

WindowHost::~WindowHost()
{
    if (!info_.hProcess)
        return;
    Kill();
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

void WindowHost::Kill()
{
    if (!info_.hProcess)
        return;
    TerminateProcess(info_.hProcess, 0xDEAD);
    WaitForSingleObject(info_.hProcess, 10000);
}

void WindowHost::ExitLeavingWindow()
{
    PostMessageA(window_, WM_APP, 0, 0);
    WaitForSingleObject(info_.hProcess, 10000);
}
