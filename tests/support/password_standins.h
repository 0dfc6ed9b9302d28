// tests/support/password_standins.h: helpers for tests that meet the stand-ins
// of the Windows 95/98 password parts (fixtures/password_cpl, fixtures/mpr):
// where they were built, what they wrote down, the system's password switch,
// and answering their dialogs from another thread or process.
#pragma once
#include <windows.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fixtures/password_standins.h"

// build\fixtures\<name>, the folder where one stand-in variant was built.
std::string FixtureFolder(const std::string& name);

// The stand-ins' registry store, emptied on construction and removed again on
// destruction, so that every test starts from no password and no records.
class StandInStore {
public:
    StandInStore();
    ~StandInStore();
    StandInStore(const StandInStore&) = delete;
    StandInStore& operator=(const StandInStore&) = delete;

    void SetPassword(const std::string& password) const;
    std::string Text(const char* value) const;
    DWORD Number(const char* value) const;
};

// HKCU "Control Panel\Desktop" value "ScreenSaveUsePassword", put back as it
// was (or removed again) on destruction.
class ScreenSavePasswordFlag {
public:
    ScreenSavePasswordFlag();
    ~ScreenSavePasswordFlag();
    ScreenSavePasswordFlag(const ScreenSavePasswordFlag&) = delete;
    ScreenSavePasswordFlag& operator=(const ScreenSavePasswordFlag&) = delete;

    void Set(DWORD type, const void* data, DWORD size) const;
    void SetNumber(DWORD value) const { Set(REG_DWORD, &value, sizeof value); }
    void Remove() const;

private:
    bool existed_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// SPI_GETSCREENSAVERRUNNING, and setting it directly.
bool ScreenSaverRunning();
void SetScreenSaverRunningDirectly(bool on);

// One answer to a dialog: texts for its fields, then the button pressed.
struct DialogAnswer {
    std::vector<std::pair<int, std::string>> fields;
    int button;
};

// Fills the fields and presses the button; works across threads and processes.
void AnswerDialog(HWND dialog, const DialogAnswer& answer);

// Answers the dialogs with a caption that this process shows, from a thread of
// its own, one answer per appearance, while the test's thread runs the modal
// loop. Join() waits for the thread; what it saw is kept for the test.
class DialogAnswerer {
public:
    // With watchedField, the text of that field after each answer is kept.
    DialogAnswerer(const char* caption, std::vector<DialogAnswer> answers, int watchedField = 0);
    ~DialogAnswerer() { Join(); }
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    void Join();
    int Answered() const { return answered_; }
    HWND Owner() const { return owner_; }
    const std::vector<std::string>& Seen() const { return seen_; }

private:
    void Run(std::string caption, std::vector<DialogAnswer> answers);

    int answered_ = 0;
    HWND owner_ = nullptr;
    int watchedField_ = 0;
    std::vector<std::string> seen_;
    std::thread thread_;
};
