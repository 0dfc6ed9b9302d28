// The process's entry. The runtime's arguments are ignored: the command line
// is read afresh, and the mode's result ends the process at once.
#include <windows.h>

#include "host/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ExitProcess(static_cast<UINT>(DispatchSaverMode(GetModuleHandleA(nullptr), CommandTail(GetCommandLineA()))));
}
