// app/startup.h: the process's start-up. Cuts the program's own name off the
// command line, reads the mode from what is left (the command tail), and runs
// exactly one mode; its result is the process's exit code.
#pragma once
#include <windows.h>

#include "system/platform.h"  // the values DispatchSaverMode records

// What a command tail asks for.
enum class SaverMode {
    ConfigureNoOwner,  // empty tail, or separators only
    Configure,         // "c", with an optional ":handle"
    Saver,             // "s": full screen
    Preview,           // "p" or "l" with a handle
    ChangePassword,    // "a" with a handle
    Rejected,          // anything else: exit code -1
};

struct ModeRequest {
    SaverMode mode;
    // Text the mode reads its window handle from: after the letter and any
    // blanks for "p", "l" and "a"; after the colon for "c:"; null otherwise.
    const char* handleText;
};

// The command line less the program's name (quoted or not) and the blanks
// and control characters after it. Never reads past the terminating NUL.
const char* CommandTail(const char* commandLine);

// Decides the mode from the first byte of the tail that is not a separator.
ModeRequest ScanSaverMode(const char* tail);

// Leading decimal digits as an unsigned 32-bit value, wrapping modulo 2^32;
// 0 when the text does not begin with a digit.
DWORD ParseWindowHandle(const char* text);

// The window a handle text names, or null when it is 0, no window, or a
// window whose thread does not answer within a few seconds.
HWND WindowFromHandleText(const char* text);

// Records the platform (system/platform.h), runs the chosen mode under the
// crash guard and returns its result.
int DispatchSaverMode(HINSTANCE instance, const char* tail);

// The preview modes: -1 when the text names no window, else the saver window's result.
int RunPreview(const char* text);

