// system/platform.h: what the saver knows about the process and the system it
// runs on. Recorded once at start-up, before any mode runs, and only read
// afterwards; the lowest module of the shell, so every other part may read it.
#pragma once
#include <windows.h>

// Stores the program's module and whether the system is Windows 95/98.
void RecordPlatform(HINSTANCE instance);

HINSTANCE SaverInstance();  // the program's own module
int IsWindows9x();          // 1 on Windows 95/98

// 1 when GetVersionExA reports the Windows 95/98 platform, 0 otherwise.
int DetectWindows9x();

// Tests run in one process and set the start-up values themselves.
void SetStartupStateForTest(HINSTANCE instance, int windows9x);
