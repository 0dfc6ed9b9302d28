#include "tests/support/host_window.h"

std::string HandleText(HWND window) { return std::to_string(reinterpret_cast<ULONG_PTR>(window)); }

HostWindow::HostWindow(DWORD style)
    : window_(CreateWindowExA(0, "STATIC", "host", style, 10, 10, 200, 150, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr))
{
}
