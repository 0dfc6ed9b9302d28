// tests/support/pixels.h: reading pixels back, as 0xRRGGBB, to see what was
// really drawn.
#pragma once
#include <windows.h>

// A pixel of a bitmap resource of `module`; 0 when the bitmap cannot be loaded.
DWORD BitmapResourcePixel(HMODULE module, int bitmapId, int x, int y);

// A pixel of a window's client area as it is on the screen now.
DWORD WindowPixel(HWND window, int x, int y);
