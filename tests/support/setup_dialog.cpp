#include "tests/support/setup_dialog.h"

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
    view.randomText = TextOf(GetDlgItem(dialog, 1002));
    view.muteText = TextOf(GetDlgItem(dialog, 1004));
    view.labelText = TextOf(GetDlgItem(dialog, 1001));
    view.okText = TextOf(GetDlgItem(dialog, IDOK));
    view.cancelText = TextOf(GetDlgItem(dialog, IDCANCEL));
    HWND list = GetDlgItem(dialog, 1000);
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        // Names are at most 259 characters; leave room for a longer surprise.
        char item[2048] = "";
        const LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, i, 0);
        if (length >= 0 && length < static_cast<LRESULT>(sizeof item))
            SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        view.items.push_back(item);
    }
    view.selection = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
    if (view.selection >= 0 && view.selection < static_cast<int>(view.items.size()))
        view.selectedText = view.items[view.selection];
    view.randomChecked = static_cast<int>(SendDlgItemMessageA(dialog, 1002, BM_GETCHECK, 0, 0));
    view.muteChecked = static_cast<int>(SendDlgItemMessageA(dialog, 1004, BM_GETCHECK, 0, 0));
    return view;
}

void MakeLayoutFiles(const std::string& folder, const std::string& prefix, int count)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        const std::string path = folder + "\\" + prefix + std::to_string(i) + ".sav";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
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

std::string IniValue(const std::string& file, const char* section, const char* key)
{
    char value[256];
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, file.c_str());
    return value;
}
