// tests/support/host_window.h: windows of the test process to hand the saver
// on its command line, as the display control panel hands it one.
#pragma once
#include <windows.h>

#include <string>

// A window handle as the command line carries it: unsigned decimal.
std::string HandleText(HWND window);

// A plain window (a STATIC control's class) to own the saver's dialogs, or to
// be in the foreground; destroyed with the object.
class HostWindow {
public:
    explicit HostWindow(DWORD style = WS_POPUP | WS_VISIBLE);
    ~HostWindow() { DestroyWindow(window_); }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND Get() const { return window_; }
    std::string Handle() const { return HandleText(window_); }
    DWORD Value() const { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window_)); }

private:
    HWND window_;
};
