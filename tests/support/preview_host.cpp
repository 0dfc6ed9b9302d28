#include "tests/support/preview_host.h"

#include "tests/support/host_window.h"
#include "tests/support/message_pump.h"

namespace {
const char kHostClass[] = "KuboPreviewHost";
}  // namespace

PreviewHost::Seen PreviewHost::s_help, PreviewHost::s_menu;

PreviewHost::PreviewHost(int width, int height)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kHostClass;
    RegisterClassA(&windowClass);
    frame_ = CreateWindowExA(0, kHostClass, "Display", WS_POPUP | WS_VISIBLE, 300, 200, width + 148, height + 138, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    area_ = CreateWindowExA(0, kHostClass, "", WS_CHILD | WS_VISIBLE, 40, 30, width, height, frame_, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    SetPropA(area_, "__wine_x11_whole_window", GetPropA(frame_, "__wine_x11_whole_window"));
    s_help = {};
    s_menu = {};
    PumpFor(100);
}

PreviewHost::~PreviewHost()
{
    if (IsWindow(frame_))
        DestroyWindow(frame_);
    UnregisterClassA(kHostClass, GetModuleHandleA(nullptr));
}

std::string PreviewHost::Handle() const { return HandleText(area_); }

HWND PreviewHost::WaitForPreview(SaverProcess& saver) const
{
    HWND preview = nullptr;
    PumpUntil([&] {
        preview = FindWindowExA(area_, nullptr, "WindowsScreenSaverClass", "Preview");
        return preview || saver.Wait(0);
    }, 15000);
    return preview;
}

LRESULT CALLBACK PreviewHost::HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_HELP:
        s_help = {s_help.count + 1, wParam};
        return 1;
    case WM_CONTEXTMENU:
        s_menu = {s_menu.count + 1, wParam};
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
