// tests/support/import_hook.h: puts a stand-in in place of one system entry
// that this test program imports, while the hook lives. The saver's code is
// linked into the test program, so its calls go through the same import
// table: the stand-in sees exactly the arguments the code passed, which is
// how a test observes what the system was asked for where the system itself
// shows no trace of it (a creation flag, a refused search).
#pragma once
#include <windows.h>

class ImportHook {
public:
    // library: e.g. "kernel32.dll" (any case); entry: the imported name.
    ImportHook(const char* library, const char* entry, const void* standIn);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    bool Installed() const { return slot_ != nullptr; }
    // The real entry, for a stand-in that records and then passes the call on.
    template <typename Fn>
    Fn Original() const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(original_));
    }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};
