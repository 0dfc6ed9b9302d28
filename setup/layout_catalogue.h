// setup/layout_catalogue.h: the layouts the game can show, found by name in
// its "ScrSaver" and "SaveGame" folders below the resource directory, and the
// form in which kubo.ini records the chosen one.
#pragma once
#include <cstddef>

#include "game/settings_file.h"

// One layout file found on disk. The caller of FindLayouts owns the list and
// frees it node by node (delete); it may change name in place first.
struct LayoutEntry {
    char name[kPathBufferSize];  // as the directory search reports it, e.g. "ss800.sav"
    LayoutEntry* next;           // null in the last node
};

// The two folders below the resource directory that hold layouts. The
// values are the tags the dialog gives its list items.
enum class LayoutFolder : int {
    ScrSaver = 0,
    SaveGame = 1,
};

// Lists one folder below the resource directory, newest-reported first. Null
// when nothing is found, or when the resource directory is too long for a
// search pattern.
LayoutEntry* FindLayouts(LayoutFolder folder);

// Stored layout forms fit a buffer of this size (at most 127 characters).
constexpr size_t kStoredLayoutSize = 128;
constexpr char kDefaultStoredLayout[] = "ScrSaver\\ss800.sav";

// "ScrSaver\<base>.sav" or "SaveGame\<base>.sav".
// 1 when it fits outSize; 0 leaves out empty rather than holding a cut name,
// and also for a name holding a control character (bytes 1 to 31 and 127).
int ComposeStoredLayout(LayoutFolder folder, const char* baseName, char* out, size_t outSize);

// The text a stored form is looked up by in the layout list: what follows the
// 9-character folder prefix once the last 4 characters (".sav") are cut off
// in place. A cut inside the prefix leaves the text after the prefix whole
// ("ScrSaver\ss8" gives "ss8"). Empty for 4 to 9 characters and for
// "ScrSaver\.sav"; null when shorter than 4, which selects nothing.
const char* StoredLayoutSearchText(char* stored);
