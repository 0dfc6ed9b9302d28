#include "tests/support/pixels.h"

#include "common/handles.h"

namespace {
HBITMAP MakeTopDownDib(HDC dc, int width, int height, DWORD** bits)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row 0 first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(bits), nullptr, 0);
}

DWORD AsRgb(COLORREF color) { return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color); }
}  // namespace

DWORD BitmapResourcePixel(HMODULE module, int bitmapId, int x, int y)
{
    GdiObject picture(LoadBitmapA(module, MAKEINTRESOURCEA(bitmapId)));
    if (!picture.Get())
        return 0;
    MemoryDC dc(nullptr);
    SelectedObject selected(dc.Get(), picture.Get());
    return AsRgb(GetPixel(dc.Get(), x, y));
}

DWORD WindowPixel(HWND window, int x, int y)
{
    WindowDC dc(window);
    return AsRgb(GetPixel(dc.Get(), x, y));
}

DibCanvas::DibCanvas(int width, int height)
    : width_(width),
      dc_(nullptr),
      bitmap_(MakeTopDownDib(dc_.Get(), width, height, &bits_)),
      selected_(dc_.Get(), bitmap_.Get())
{
}
