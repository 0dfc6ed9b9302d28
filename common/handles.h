// common/handles.h: owners for handles that live inside one function. One small
// class per release call; each releases on destruction and cannot be copied.
#pragma once
#include <windows.h>

#include "common/text.h"

class RegKey {
public:
    RegKey() = default;
    ~RegKey() { if (key_) RegCloseKey(key_); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* Receive() { return &key_; }  // out-parameter for RegOpenKeyExA
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// Process, thread and synchronisation handles; null when empty.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle) : handle_(handle) {}
    ~KernelHandle() { if (handle_) CloseHandle(handle_); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

class FindHandle {
public:
    explicit FindHandle(HANDLE search) : search_(search) {}
    ~FindHandle() { if (search_ != INVALID_HANDLE_VALUE) FindClose(search_); }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return search_; }
    bool IsValid() const { return search_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE search_;
};

class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() { if (dc_) ReleaseDC(window_, dc_); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

class MemoryDC {
public:
    explicit MemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDC() { if (dc_) DeleteDC(dc_); }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// Bitmaps, brushes and other GDI objects released with DeleteObject.
class GdiObject {
public:
    explicit GdiObject(HGDIOBJ object) : object_(object) {}
    ~GdiObject() { if (object_) DeleteObject(object_); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    HGDIOBJ Get() const { return object_; }

private:
    HGDIOBJ object_;
};

// Selects an object into a DC and selects the previous one back on destruction.
// Declare it after the owner of the object, so it runs first.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A library loaded by its name, through the system's search: only for the
// names Windows 95/98 themselves resolve that way (SystemLibrary otherwise).
class Library {
public:
    explicit Library(const char* name) : module_(LoadLibraryA(name)) {}
    ~Library() { if (module_) FreeLibrary(module_); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE Get() const { return module_; }

private:
    HMODULE module_;
};

// One of the system's own libraries, loaded from the system folder by its
// full path: never a file of that name planted beside the program, in the
// current folder or on the PATH. Null where the system has no such library
// (or its folder's path leaves no room for the name).
class SystemLibrary {
public:
    explicit SystemLibrary(const char* name)
    {
        char path[MAX_PATH];
        const UINT length = GetSystemDirectoryA(path, MAX_PATH);
        // Altered search: what the library itself needs is looked for in its
        // own folder first, not beside the program.
        if (length > 0 && length < MAX_PATH && JoinText(path + length, MAX_PATH - length, {"\\", name}))
            module_ = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    ~SystemLibrary() { if (module_) FreeLibrary(module_); }
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;
    HMODULE Get() const { return module_; }

private:
    HMODULE module_ = nullptr;
};
