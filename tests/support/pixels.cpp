#include "tests/support/pixels.h"

#include "common/handles.h"

namespace {
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
