// tests/support/remote_patch.h: makes one system entry behave, inside a saver
// the test runs, as a Windows that Wine does not play would: Windows 7
// refusing a second job, a desktop that refuses hooks, a start held up by a
// virus scan. The saver runs as the test's debuggee, stopped at its loader's
// breakpoint (SaverProcess::PatchAtStart); the system's libraries lie at
// the same addresses in both processes, so the entry is where this program
// has it. Each returns an empty text when done, else what failed.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>

// The entry answers 0 (FALSE, null) with GetLastError `error`, and does
// nothing else. `argumentBytes`: what the stdcall entry pops (4 per argument).
std::string RefuseEntry(HANDLE process, const char* library, const char* entry, DWORD error, int argumentBytes);

// The first `calls` calls of the entry answer `answer` and do nothing else
// (a hook that is set but hears nothing); later calls run as ever.
std::string FakeEntry(HANDLE process, const char* library, const char* entry, DWORD answer, DWORD calls,
                      int argumentBytes);

// The first call of the entry sleeps `delayMs` before it runs as ever.
std::string DelayEntry(HANDLE process, const char* library, const char* entry, DWORD delayMs);

// QueryInformationJobObject with a null handle asks about the job the caller
// runs in, as Windows documents; Wine 8 refuses a null handle. In the saver, a
// null handle comes to mean `job` (a handle of this program's, duplicated
// into the saver), which must be the job the saver runs in.
std::string AnswerForTheCallersJob(HANDLE process, HANDLE job);

// The saver's own lookups of these names, of entries or of libraries, find
// nothing, as on a Windows older than the one that brought them: the texts
// the saver keeps for them (in its image at `image`) get a last letter one
// lower. Other programs, and the system's own libraries in the saver, still
// find them.
std::string HideEntries(HANDLE process, void* image, std::initializer_list<const char*> names);
