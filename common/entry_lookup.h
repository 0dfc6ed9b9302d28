// common/entry_lookup.h: typed lookup of an optional library entry point.
#pragma once
#include <windows.h>

// GetProcAddress gives a generic function pointer; the cast to the entry's real
// type goes once through void (*)(), which -Wextra accepts.
template <typename Fn>
Fn LookUpEntry(HMODULE module, const char* name)
{
    if (!module)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
