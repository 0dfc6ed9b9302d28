#include "tests/support/setup_dialog.h"

#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/support/message_pump.h"
#include "tests/support/saver_process.h"

namespace {
std::string TextOf(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}
}  // namespace

SetupDialogView ReadSetupDialog(HWND dialog)
{
    SetupDialogView view;
    view.caption = TextOf(dialog);
    view.randomText = TextOf(GetDlgItem(dialog, IDC_RANDOM));
    view.muteText = TextOf(GetDlgItem(dialog, IDC_MUTE));
    view.labelText = TextOf(GetDlgItem(dialog, IDC_LAYOUT_LABEL));
    view.okText = TextOf(GetDlgItem(dialog, IDOK));
    view.cancelText = TextOf(GetDlgItem(dialog, IDCANCEL));
    HWND list = GetDlgItem(dialog, IDC_LAYOUT_LIST);
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        // Across processes Wine hands CB_GETLBTEXT's text back in UTF-16 even
        // to an "A" caller, so ask in UTF-16 and turn it into ANSI here.
        // Names are at most 259 characters; leave room for a longer surprise.
        WCHAR wide[2048] = L"";
        const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, i, 0);
        if (length >= 0 && length < 2048)
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide));
        char item[4096] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, item, sizeof item, nullptr, nullptr);
        view.items.push_back(item);
    }
    view.selection = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
    if (view.selection >= 0 && view.selection < static_cast<int>(view.items.size()))
        view.selectedText = view.items[view.selection];
    view.randomChecked = static_cast<int>(SendDlgItemMessageA(dialog, IDC_RANDOM, BM_GETCHECK, 0, 0));
    view.muteChecked = static_cast<int>(SendDlgItemMessageA(dialog, IDC_MUTE, BM_GETCHECK, 0, 0));
    return view;
}

SIZE TitlePictureSize(HWND dialog)
{
    RECT client = {};
    GetClientRect(GetDlgItem(dialog, -1), &client);
    return {client.right, client.bottom};
}

void ExpectControlsWholeAndApart(HWND dialog)
{
    const int ids[] = {IDOK, IDCANCEL, IDC_RANDOM, IDC_MUTE, IDC_LAYOUT_LABEL, IDC_LAYOUT_LIST, -1};
    RECT client = {};
    GetClientRect(dialog, &client);
    std::vector<RECT> placed;
    for (int id : ids) {
        RECT rect = {};
        GetWindowRect(GetDlgItem(dialog, id), &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right && rect.bottom <= client.bottom)
            << "control " << id << " at " << rect.left << "," << rect.top << "-" << rect.right << "," << rect.bottom
            << " outside the client area of " << client.right << "x" << client.bottom;
        for (size_t other = 0; other < placed.size(); ++other) {
            RECT common;
            EXPECT_FALSE(IntersectRect(&common, &rect, &placed[other]))
                << "control " << id << " overlaps control " << ids[other];
        }
        placed.push_back(rect);
    }
}

namespace {
const char kDesktopKey[] = "Control Panel\\Desktop";
}

DesktopSetting::DesktopSetting(const char* name, DWORD value) : name_(name)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open HKCU\\" << kDesktopKey;
        return;
    }
    DWORD size = sizeof previous_;
    DWORD type = 0;
    hadValue_ = RegQueryValueExA(key, name_, nullptr, &type, reinterpret_cast<BYTE*>(&previous_), &size) ==
                    ERROR_SUCCESS && type == REG_DWORD;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name_, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                            sizeof value));
    RegCloseKey(key);
}

DesktopSetting::~DesktopSetting()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (hadValue_)
        RegSetValueExA(key, name_, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous_), sizeof previous_);
    else
        RegDeleteValueA(key, name_);
    RegCloseKey(key);
}

std::string RealisticKuboIni(const std::string& resourceDirectory, const std::string& screenSaverLines)
{
    return "; KUBO TRAX settings, written by the game\r\n"
           "[DIRECTORIES]\r\n"
           "res=" + resourceDirectory + "\r\n"
           "Exe=TRAX.exe\r\n"
           "\r\n"
           "[Locale]\r\n"
           "Language=English\r\n"
           "\r\n"
           "; sound and music levels\r\n"
           "[Sound]\r\n"
           "Music=80\r\n"
           "Effects=65\r\n"
           "\r\n"
           "[ScreenSaver]\r\n" + screenSaverLines +
           "\r\n"
           "[Player]\r\n"
           "Name=Ann\r\n"
           "LastLayout=SaveGame\\mine.sav\r\n";
}

namespace {
// Runs a Linux program from a Windows one: Wine starts ELF executables too.
bool RunUnixCommand(const std::string& commandLine)
{
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

std::string UnixPathOf(const std::string& path)
{
    using UnixName = char*(CDECL*)(LPCWSTR);
    FARPROC entry = GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (!entry)
        return std::string();
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    char* unixName = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(entry))(wide);
    if (!unixName)
        return std::string();
    std::string result = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return result;
}

bool IsWritable(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// Runs a POSIX shell script with arguments ($1, $2, ...) from the Linux side.
// Field splitting is off, so an argument may hold blanks; the script holds
// no double quote, which the command line would take for its end.
bool RunShellScript(const char* script, const std::vector<std::string>& arguments)
{
    std::string commandLine = std::string("Z:\\bin\\sh -c \"IFS=; ") + script + "\" sh";
    for (const std::string& argument : arguments)
        commandLine += " \"" + argument + "\"";
    return RunUnixCommand(commandLine);
}

// Whether a file matching the pattern exists.
bool AnyMatches(const std::string& pattern)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

// The handle Wine gives back does not wait for the Linux program: polls
// until the answer is the one wanted, for 60 s at the most.
bool WaitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 3000 && !done(); ++i)
        Sleep(20);
    return done();
}
}  // namespace

// Made and removed from the Linux side: for each name Wine creates, it first
// reads the whole folder looking for that name in any case, and it deletes a
// file in several calls to the wineserver, so ten thousand files made and
// removed one by one through Wine take most of a minute.
LayoutFiles::LayoutFiles(const std::string& folder, const std::string& prefix, int count)
    : folder_(folder), prefix_(prefix)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    unixFolder_ = UnixPathOf(folder);
    if (count <= 0 || unixFolder_.empty())
        return;
    // Made in order, so the last one's arrival says all are there.
    const std::string last = folder + "\\" + prefix + std::to_string(count - 1) + ".sav";
    made_ = RunShellScript("set -f; cd -- $1 && i=0 && while [ $i -lt $3 ]; do : >$2$i.sav; i=$((i+1)); done",
                           {unixFolder_, prefix, std::to_string(count)}) &&
            WaitUntil([&last] { return GetFileAttributesA(last.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

LayoutFiles::~LayoutFiles()
{
    const std::string pattern = folder_ + "\\" + prefix_ + "*.sav";
    if (unixFolder_.empty() || !AnyMatches(pattern))
        return;
    // Only <prefix>*.sav in that folder, whatever else lies there.
    if (!RunShellScript("cd -- $1 && rm -f -- $2*.sav", {unixFolder_, prefix_}) ||
        !WaitUntil([&pattern] { return !AnyMatches(pattern); }))
        ADD_FAILURE() << "the layout files in " << folder_ << " were not removed";
}

bool WaitPumping(SaverProcess& saver, DWORD timeoutMs)
{
    return PumpUntil([&saver] { return saver.Wait(0); }, timeoutMs);
}

bool MakeReadOnly(const std::string& path)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    if (!IsWritable(path))
        return true;
    // Root on Linux writes read-only files anyway, and Wine lets it: make
    // the file immutable as well, so that the write fails as on Windows.
    const std::string unixPath = UnixPathOf(path);
    if (unixPath.empty() || !RunUnixCommand("Z:\\usr\\bin\\chattr +i \"" + unixPath + "\""))
        return false;
    // The handle Wine gives back does not wait for the Linux program: poll.
    for (int i = 0; i < 250 && IsWritable(path); ++i)
        Sleep(20);
    return !IsWritable(path);
}

void MakeWritable(const std::string& path)
{
    const std::string unixPath = UnixPathOf(path);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (IsWritable(path) || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    if (!unixPath.empty() && RunUnixCommand("Z:\\usr\\bin\\chattr -i \"" + unixPath + "\"")) {
        for (int i = 0; i < 250 && !IsWritable(path); ++i)
            Sleep(20);
    }
}

void ExpectEnglishTexts(const SetupDialogView& view)
{
    EXPECT_EQ("KUBO TRAX Screen Saver Setup", view.caption);
    EXPECT_EQ("Use A Random Selection", view.randomText);
    EXPECT_EQ("Mute Sounds", view.muteText);
    EXPECT_EQ("Select Layout:", view.labelText);
    EXPECT_EQ("OK", view.okText);
    EXPECT_EQ("CANCEL", view.cancelText);
}
