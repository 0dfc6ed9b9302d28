// tests/support/window_host.h: a window of another process to name on the
// saver's command line, standing in for the display control panel's. Its
// process can be killed, made to exit without destroying the window, or be
// found hung (fixtures/window_host).
#pragma once
#include <windows.h>

#include <string>

#include "tests/support/host_window.h"

class WindowHost {
public:
    // "answering", "message-only", "hung" or "hung-foreground".
    explicit WindowHost(const char* behaviour);
    ~WindowHost();
    WindowHost(const WindowHost&) = delete;
    WindowHost& operator=(const WindowHost&) = delete;

    HWND Window() const { return window_; }  // null when it did not come up
    std::string Handle() const { return HandleText(window_); }
    // Ends the process with TerminateProcess, as a crash would.
    void Kill();
    // Makes the process end itself without destroying its window.
    void ExitLeavingWindow();
    // Makes the process destroy its window and live on.
    void DestroyWindowLeavingProcess() { PostMessageA(window_, WM_APP + 1, 0, 0); }

private:
    PROCESS_INFORMATION info_ = {};
    HWND window_ = nullptr;
};
