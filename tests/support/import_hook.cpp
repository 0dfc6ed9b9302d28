#include "tests/support/import_hook.h"

#include <cstring>

namespace {
void WriteSlot(void** slot, void* value)
{
    DWORD oldProtection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtection);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, oldProtection, &oldProtection);
}

// The import table slot of library!entry in this program's image, or null.
void** FindSlot(const char* library, const char* entry)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress)
        return nullptr;
    for (auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         descriptor->Name; ++descriptor) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + descriptor->Name), library) != 0)
            continue;
        // The lookup table keeps the names; the address table beside it is
        // what calls go through.
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), entry) == 0)
                return reinterpret_cast<void**>(&addresses->u1.Function);
        }
    }
    return nullptr;
}
}  // namespace

ImportHook::ImportHook(const char* library, const char* entry, const void* standIn)
{
    slot_ = FindSlot(library, entry);
    if (!slot_)
        return;
    original_ = *slot_;
    WriteSlot(slot_, const_cast<void*>(standIn));
}

ImportHook::~ImportHook()
{
    if (slot_)
        WriteSlot(slot_, original_);
}
