// tests/support/preview_host.h: the display control panel's preview area, as
// the saver's "/p" and "/l" modes are handed it: a child of a top-level
// window of this process, carrying the X window property so that Wine paints
// the saver's child inside it. It notes the help and context-menu requests
// the preview hands on to it.
#pragma once
#include <windows.h>

#include <string>

#include "tests/support/saver_process.h"

class PreviewHost {
public:
    // The area's size: the control panel's at 96 DPI unless given.
    explicit PreviewHost(int width = 152, int height = 112);
    ~PreviewHost();
    PreviewHost(const PreviewHost&) = delete;
    PreviewHost& operator=(const PreviewHost&) = delete;

    HWND Area() const { return area_; }
    std::string Handle() const;
    // The control panel closes its preview by destroying the area.
    void DestroyArea() { DestroyWindow(area_); }
    // The saver's preview child once it exists, handling this thread's
    // messages meanwhile (making a child of our window talks to us); null
    // after 15 s, or when the saver ended first.
    HWND WaitForPreview(SaverProcess& saver) const;

    // What reached the area since the host was made: how often, and the
    // window the request named.
    struct Seen { int count; WPARAM wParam; };
    static Seen s_help, s_menu;

private:
    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND frame_;
    HWND area_;
};
