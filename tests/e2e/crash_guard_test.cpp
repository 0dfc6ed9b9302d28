// The 64-bit saver's crash guard seen from outside: an exception that nothing
// handles ends the saver with the exception's code, and it is the guard that
// ends it, not the system's own crash handling, which would first start the
// registered debugger.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/entry_lookup.h"
#include "tests/support/fake_install.h"
#include "tests/support/saver_process.h"
#include "tests/support/setup_dialog.h"

#if defined(__x86_64__)

namespace {

const char kAeDebugKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";

// Points the system's crash handling at a "debugger" that only leaves a file
// behind; the setting it found is put back on destruction.
class DebuggerThatLeavesAMark {
public:
    explicit DebuggerThatLeavesAMark(const std::string& markPath)
    {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kAeDebugKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        DWORD size = sizeof previous_ - 1;
        hadPrevious_ = RegQueryValueExA(key_, "Debugger", nullptr, nullptr, reinterpret_cast<BYTE*>(previous_),
                                        &size) == ERROR_SUCCESS;
        previous_[hadPrevious_ ? size : 0] = '\0';
        Set("cmd.exe /c echo started>\"" + markPath + "\"");
    }
    ~DebuggerThatLeavesAMark()
    {
        if (hadPrevious_)
            Set(previous_);
        else
            RegDeleteValueA(key_, "Debugger");
        RegCloseKey(key_);
    }
    DebuggerThatLeavesAMark(const DebuggerThatLeavesAMark&) = delete;
    DebuggerThatLeavesAMark& operator=(const DebuggerThatLeavesAMark&) = delete;

private:
    void Set(const std::string& command)
    {
        RegSetValueExA(key_, "Debugger", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>(command.size() + 1));
        RegSetValueExA(key_, "Auto", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
    }

    HKEY key_ = nullptr;
    bool hadPrevious_ = false;
    char previous_[1024];
};

// Raises an exception that nothing in the process handles, on a new thread that
// runs RtlRaiseException on a record written into the process. ntdll lies at
// the same address in every process, so this process's entry address is theirs.
bool RaiseUnhandledExceptionIn(HANDLE process, DWORD code)
{
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    void* remote = VirtualAllocEx(process, nullptr, sizeof record, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote || !WriteProcessMemory(process, remote, &record, sizeof record, nullptr))
        return false;
    auto raise = LookUpEntry<LPTHREAD_START_ROUTINE>(GetModuleHandleA("ntdll.dll"), "RtlRaiseException");
    HANDLE thread = raise ? CreateRemoteThread(process, nullptr, 0, raise, remote, 0, nullptr) : nullptr;
    if (!thread)
        return false;
    CloseHandle(thread);
    return true;
}

TEST(CrashGuard, AnUnhandledExceptionEndsTheSaverWithItsCode)
{
    TempFolder folder;
    folder.MakeFolder("Res\\ScrSaver");
    folder.WriteFile("kubo.ini", RealisticKuboIni(folder.Path() + "\\Res", ""));
    InstallKey key;
    key.SetPath(folder.Path());
    const std::string mark = folder.Path() + "\\debugger-started.txt";
    DebuggerThatLeavesAMark debugger(mark);

    SaverProcess saver("/c");
    ASSERT_TRUE(saver.Started());
    ASSERT_NE(nullptr, WaitForSetupDialog(saver.Id(), 20000)) << "the dialog never came up";
    ASSERT_TRUE(RaiseUnhandledExceptionIn(saver.Handle(), 0xE0004B58));
    ASSERT_TRUE(saver.Wait(20000));
    EXPECT_EQ(0xE0004B58u, saver.ExitCode());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(mark.c_str())) << "the system's crash handling ran";
}

}  // namespace

#endif  // __x86_64__
