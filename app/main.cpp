// The process's entry, which the loader calls directly: the saver carries no
// C runtime (docs/DESIGN.md, "Architecture"), so nothing runs before it and nothing after.
// The command line is read from the system, and the mode's result ends the
// process at once.
#include <windows.h>

#include "app/startup.h"

// The linker names this as the image's entry (CMakeLists.txt). The system
// guarantees only 4-byte stack alignment here; GCC may assume more.
extern "C" __attribute__((noreturn, force_align_arg_pointer)) void SaverEntry() asm("SaverEntry");

void SaverEntry()
{
    ExitProcess(static_cast<UINT>(DispatchSaverMode(GetModuleHandleA(nullptr), CommandTail(GetCommandLineA()))));
}
