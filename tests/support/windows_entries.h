// tests/support/windows_entries.h: the entries the saver looks up at run time,
// each with the first Windows that has it, as its documentation states. Wine
// offers every one of them under every version it plays; a saver the tests
// start under an emulated version (KUBO_WINDOWS_VERSION) has those that
// version lacks made missing, so that it takes that Windows' own branch.
#pragma once
#include <windows.h>

#include <string>

// Makes missing, to the saver's own lookups (the saver created held, before
// its first line, its image at `image`), every entry and library of the
// table that the run's Windows lacks; nothing on Windows 95/98, whose saver
// takes none of the NT family's branches, or without a version. An empty
// text when done, else what failed.
std::string HideEntriesTheRunsWindowsLacks(HANDLE process, void* image);

// Whether the run's Windows lacks this entry (or library) of the table; any
// of them without one.
bool RunLacksEntry(const char* entry = nullptr);
