// tests/support/pixels.h: reading pixels back, as 0xRRGGBB, to see what was
// really drawn.
#pragma once
#include <windows.h>

#include "common/handles.h"

// A pixel of a bitmap resource of `module`; 0 when the bitmap cannot be loaded.
DWORD BitmapResourcePixel(HMODULE module, int bitmapId, int x, int y);

// A pixel of a window's client area as it is on the screen now.
DWORD WindowPixel(HWND window, int x, int y);

// A 32-bit top-down bitmap selected into a memory DC: something to draw on
// and read back pixel by pixel. Everything is released with the object.
class DibCanvas {
public:
    DibCanvas(int width, int height);
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    HDC Dc() const { return dc_.Get(); }
    DWORD* Bits() const { return bits_; }  // null when the bitmap could not be made
    // 0xRRGGBB at (x, y), once GDI has finished drawing (GdiFlush).
    DWORD Pixel(int x, int y) const { return bits_[y * width_ + x] & 0xFFFFFF; }

private:
    int width_;
    DWORD* bits_ = nullptr;
    MemoryDC dc_;
    GdiObject bitmap_;
    SelectedObject selected_;
};
