// tests/support/setup_dialog.h: reading the configuration dialog from outside
// (its texts, list and check boxes), the same way in-process and across
// processes, and filling an installation with layouts.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/message_pump.h"  // WaitForSetupDialog, WaitForMessageBox

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

// Checks the caption and the five control texts of the English dialog.
void ExpectEnglishTexts(const SetupDialogView& view);

// Empty files <folder>\<prefix><n>.sav for n = 0 .. count-1 (the folder is
// made when missing), made quickly however many; removed on destruction.
// The prefix is a plain name: no blanks, quotes or wildcards.
class LayoutFiles {
public:
    LayoutFiles(const std::string& folder, const std::string& prefix, int count);
    ~LayoutFiles();
    LayoutFiles(const LayoutFiles&) = delete;
    LayoutFiles& operator=(const LayoutFiles&) = delete;

    bool Made() const { return made_; }  // all of them are there

private:
    std::string folder_;
    std::string prefix_;
    std::string unixFolder_;
    bool made_ = false;
};

// The title picture's size as its control shows it (the control's client area).
SIZE TitlePictureSize(HWND dialog);

// Fails the test for a control of the dialog that reaches outside its client
// area or overlaps another control.
void ExpectControlsWholeAndApart(HWND dialog);

// A number in HKCU\Control Panel\Desktop while the object lives; what was
// there before comes back on destruction. Wine reads "LogPixels" (the DPI)
// and "DpiScalingVer" (when not 0, a program starts unaware of the DPI, as on
// Windows, rather than aware) as a program starts.
class DesktopSetting {
public:
    DesktopSetting(const char* name, DWORD value);
    ~DesktopSetting();
    DesktopSetting(const DesktopSetting&) = delete;
    DesktopSetting& operator=(const DesktopSetting&) = delete;

private:
    const char* name_;
    bool hadValue_ = false;
    DWORD previous_ = 0;
};

// A kubo.ini as the game writes it, with the resource directory given.
std::string RealisticKuboIni(const std::string& resourceDirectory, const std::string& screenSaverLines);


// Makes a file read-only, the way a user does; true when writes now fail.
bool MakeReadOnly(const std::string& path);
void MakeWritable(const std::string& path);

// Waits for a process to end while handling this thread's messages, which a
// dialog owned by one of our windows sends us; true when it ended in time.
class SaverProcess;
bool WaitPumping(SaverProcess& saver, DWORD timeoutMs);
