// system/dpi_awareness.h: what the saver tells Windows about the display's
// scale, and the scale a window is drawn at. Every call used here exists on
// some Windows only and is looked up by name, so the image still loads on
// Windows 95 and NT 4.0.
#pragma once
#include <windows.h>

// WM_DPICHANGED (Windows 8.1 and later): wParam holds the new DPI, lParam the
// window rectangle the system suggests for it. The build targets older
// headers, which lack it.
constexpr UINT kDpiChangedMessage = 0x02E0;

// The DPI everything in the saver's resources is drawn for.
constexpr int kDesignDpi = 96;

// The calls that declare a process DPI-aware, best first.
enum class AwarenessCall {
    PerMonitorV2,  // SetProcessDpiAwarenessContext, Windows 10 1703 on
    PerMonitor,    // SetProcessDpiAwareness in shcore.dll, Windows 8.1 on
    System,        // SetProcessDPIAware, Vista on
    None,          // none left: Windows 95 to XP lay dialogs out at their DPI anyway
};

// Which of those calls the running system has (or has not refused yet).
struct AwarenessCalls {
    bool perMonitorV2;
    bool perMonitor;
    bool system;
};

// The best call among those the system has.
AwarenessCall BestAwarenessCall(AwarenessCalls has);

// A length in pixels drawn for `fromDpi`, for a display of `toDpi`, rounded
// to the nearest pixel. A DPI of 0 or less (unknown) leaves it as it is.
int ScaleForDpi(int value, int toDpi, int fromDpi);

// The DPI a font of `points` was made for, from its LOGFONT height (negative:
// the characters' height in pixels, as dialogs make their fonts); 0 for none.
int DpiOfFontHeight(int fontHeight, int points);

// Configure mode, before its first window: declares the process DPI-aware,
// per monitor (v2) where the system can, else system-aware, and says which
// call took on the debugger output. Where a call is refused because the awareness is already set (by a
// compatibility setting, say), that setting stays.
void DeclareDpiAwareness();

// Preview mode, before its window is made as a child of `host`: this thread's
// windows take the host window's awareness (Windows 10 1607 and later), so a
// parent and its child in two processes never differ, which Windows answers
// by resetting the child's process. Elsewhere the process stays unaware, as
// it always was.
void TakeDpiAwarenessOf(HWND host);

// Full-screen mode, for the input watch, without a word said: takes the
// physical pixels the low-level hooks report, so that the pointer read and
// the hooks' points agree on a scaled display. The calling thread alone where
// the system can (Windows 10 1607 on; `previous`, when given, receives what
// the thread had, for RestoreThreadDpiAwareness); else the process, by the
// best call the system has ("/s" makes no window of its own that this could
// change). Returns, in words, what the system reports it took; `physical`,
// when given, says whether the pointer is now read in the hooks' pixels.
const char* TakePhysicalPixels(HANDLE* previous, bool* physical = nullptr);

// Gives the calling thread back what TakePhysicalPixels found; null: nothing.
void RestoreThreadDpiAwareness(HANDLE previous);

// The DPI `window` is drawn at where the system keeps one per window
// (Windows 10 1607 on); 0 elsewhere.
int WindowDpi(HWND window);

// The screen's DPI as this process sees it on `window`'s display: 96 for a
// process Windows scales itself, the system's DPI otherwise.
int ScreenDpi(HWND window);
