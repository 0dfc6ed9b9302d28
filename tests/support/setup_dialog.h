// tests/support/setup_dialog.h: reading the configuration dialog from outside
// (its texts, list and check boxes), the same way in-process and across
// processes, and filling an installation with layouts.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct SetupDialogView {
    std::string caption;
    std::string randomText;
    std::string muteText;
    std::string labelText;
    std::string okText;
    std::string cancelText;
    std::vector<std::string> items;  // in the list's order
    int selection = -1;              // CB_ERR: nothing selected
    std::string selectedText;
    int randomChecked = -1;
    int muteChecked = -1;
};

SetupDialogView ReadSetupDialog(HWND dialog);

// Empty files <folder>\<prefix><n>.sav for n = 0 .. count-1.
void MakeLayoutFiles(const std::string& folder, const std::string& prefix, int count);

// A kubo.ini as the game writes it, with the resource directory given.
std::string RealisticKuboIni(const std::string& resourceDirectory, const std::string& screenSaverLines);

// The value of a key, or "<missing>".
std::string IniValue(const std::string& file, const char* section, const char* key);
