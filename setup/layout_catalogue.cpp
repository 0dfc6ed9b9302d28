#include "setup/layout_catalogue.h"

#include <new>

#include "common/handles.h"
#include "common/text.h"

namespace {
// Both folder prefixes have this length; the dialog skips them unread.
constexpr size_t kFolderPrefixLength = 9;
constexpr size_t kExtensionLength = 4;  // ".sav"

const char* FolderName(LayoutFolder folder)
{
    return folder == LayoutFolder::ScrSaver ? "ScrSaver" : "SaveGame";
}
}  // namespace

LayoutEntry* FindLayouts(LayoutFolder folder)
{
    // A directory too long for the pattern is refused: a cut pattern would
    // search some other folder.
    char pattern[kPathBufferSize];
    if (!JoinText(pattern, sizeof pattern, {ResourceDirectory(), "\\", FolderName(folder), "\\*.sav"}))
        return nullptr;

    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA(pattern, &found));
    if (!search.IsValid())
        return nullptr;

    // Attributes are not looked at: a folder named like a layout is listed
    // too. Each node goes in front, so the last one reported heads the list.
    LayoutEntry* head = nullptr;
    do {
        if (found.cFileName[0] == '.')
            continue;
        LayoutEntry* entry = new (std::nothrow) LayoutEntry;
        if (!entry)
            break;  // out of memory: keep what was collected
        CopyText(entry->name, found.cFileName);
        entry->next = head;
        head = entry;
    } while (FindNextFileA(search.Get(), &found));
    return head;
}

int ComposeStoredLayout(LayoutFolder folder, const char* baseName, char* out, size_t outSize)
{
    // A name made outside Windows may hold a line break or another control
    // character; written into kubo.ini it would start lines and sections of
    // its own. Such a name is not stored at all.
    for (const char* p = baseName; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F) {
            if (outSize > 0)
                out[0] = '\0';
            return 0;
        }
    }
    if (!JoinText(out, outSize, {FolderName(folder), "\\", baseName, ".sav"})) {
        if (outSize > 0)
            out[0] = '\0';
        return 0;
    }
    return 1;
}

const char* StoredLayoutSearchText(char* stored)
{
    const size_t length = TextLength(stored);
    if (length < kExtensionLength)
        return nullptr;
    stored[length - kExtensionLength] = '\0';
    // The folder prefix is skipped without a look: "SaveGame\" finds the same
    // items as "ScrSaver\". The search starts after it even when the cut fell
    // inside it, so "ScrSaver\ss8" still finds ss8; only a value no longer
    // than the prefix leaves nothing to find.
    return length <= kFolderPrefixLength ? stored + length : stored + kFolderPrefixLength;
}
