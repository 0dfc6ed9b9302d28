#include "system/platform.h"

namespace {
// Set once by RecordPlatform before the command tail is looked at.
HINSTANCE g_instance;  // the program's own module
int g_windows9x;       // 1 on Windows 95/98
}  // namespace

void RecordPlatform(HINSTANCE instance)
{
    g_instance = instance;
    g_windows9x = DetectWindows9x();
}

HINSTANCE SaverInstance() { return g_instance; }
int IsWindows9x() { return g_windows9x; }

int DetectWindows9x()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? 1 : 0;
}

void SetStartupStateForTest(HINSTANCE instance, int windows9x)
{
    g_instance = instance;
    g_windows9x = windows9x;
}
