// game/saver_proc.h: the saver window's own behaviour. Created full screen, it
// starts the game with "-s", hands the run to it and refuses to exist;
// created as a preview, it paints the title picture on black.
#pragma once
#include <windows.h>

#include <cstddef>

// SaverWindowProc, this module's entry, is declared by the shell that calls it.
#include "shell/saver_window.h"

// 1: creation goes on (the preview); 0: refused, after the game was started
// or could not be.
int LaunchGameIfFullScreen(HWND window);

// Pure: whether the saver window being created is the full-screen one, which
// starts the game. What the window is decides: a top-level window (made
// without a parent) is full screen, a child (the preview) never is, however
// large. The two rectangles are what a size comparison would use, and they
// are deliberately not compared: with several monitors the screen's clip box
// spans all of them while the desktop window keeps the primary one's, and on
// a scaled display either may be reported scaled.
bool IsFullScreenSaverWindow(bool child, RECT windowArea, RECT desktopArea);

// Black over the whole client area, the title picture centred on it.
void PaintTitlePicture(HDC dc, HWND window);

// Moves `moved`, keeping its size, so that its centre meets the container's;
// each half is rounded toward zero on its own. Exact for any rectangles; an
// end that would lie beyond the LONG range is held at the limit.
void CenterRect(RECT container, RECT* moved);

// Pure: "<directory>\<exe>" -s, the program's path quoted so that blanks in the
// directory cannot make the system run a truncated path. 1 when it fitted;
// 0 leaves a cut text that must not be run.
int BuildGameCommandLine(const char* installDirectory, const char* exeName, char* out,
                         size_t outSize);

// Pure: why the game's executable name (key "Exe", `length` characters read
// into a buffer of `bufferSize`) must not be started, as the system's error
// code; 0 when it may. A name that fills the buffer may have been cut, and a
// double quote would end the quoted path early: either can name another
// program than the one written down. A subfolder ("bin\TRAX.exe") is fine.
DWORD ExeNameRefusal(const char* exeName, DWORD length, size_t bufferSize);

// Pure: the text the error box shows when the system has none for the code.
void FormatErrorCode(DWORD code, char* out, size_t outSize);

// For tests: with `on`, creation always goes on as for a preview, so that a
// full-screen saver window lives and can be driven in the test process.
void TakeNoWindowForFullScreenForTest(bool on);
