#include "tests/support/password_standins.h"

#include "fixtures/standin_store.h"
#include "tests/support/message_pump.h"

namespace {
const char kDesktopKey[] = "Control Panel\\Desktop";
const char kFlagValue[] = "ScreenSaveUsePassword";
}  // namespace

std::string FixtureFolder(const std::string& name)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    folder.resize(folder.rfind('\\') + 1);
    return folder + "fixtures\\" + name;
}

StandInStore::StandInStore() { RegDeleteKeyA(HKEY_CURRENT_USER, STANDIN_KEY); }
StandInStore::~StandInStore() { RegDeleteKeyA(HKEY_CURRENT_USER, STANDIN_KEY); }

void StandInStore::SetPassword(const std::string& password) const
{
    WriteStandInText(STANDIN_PASSWORD_VALUE, password.c_str());
}

std::string StandInStore::Text(const char* value) const
{
    char text[256];
    ReadStandInText(value, text, sizeof text);
    return text;
}

DWORD StandInStore::Number(const char* value) const { return ReadStandInNumber(value); }

ScreenSavePasswordFlag::ScreenSavePasswordFlag()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    if (RegQueryValueExA(key, kFlagValue, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
        data_.resize(size);
        existed_ = RegQueryValueExA(key, kFlagValue, nullptr, &type_, data_.data(), &size) ==
                   ERROR_SUCCESS;
        data_.resize(size);
    }
    RegCloseKey(key);
}

ScreenSavePasswordFlag::~ScreenSavePasswordFlag()
{
    if (existed_)
        Set(type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
        Remove();
}

void ScreenSavePasswordFlag::Set(DWORD type, const void* data, DWORD size) const
{
    SetUserRegistryValue(kDesktopKey, kFlagValue, type, data, size);
}

void ScreenSavePasswordFlag::Remove() const
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, kFlagValue);
    RegCloseKey(key);
}

bool ScreenSaverRunning()
{
    BOOL running = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    return running != FALSE;
}

void SetScreenSaverRunningDirectly(bool on)
{
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, on ? 1 : 0, nullptr, 0);
}

void AnswerDialog(HWND dialog, const DialogAnswer& answer)
{
    for (const auto& field : answer.fields)
        SetDlgItemTextA(dialog, field.first, field.second.c_str());
    // Sent, not posted: a later answer's texts must not overtake this press.
    // A press that ends the dialog hides it before the send returns.
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(answer.button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, answer.button)));
}

DialogAnswerer::DialogAnswerer(const char* caption, std::vector<DialogAnswer> answers,
                               int watchedField)
    : watchedField_(watchedField), thread_(&DialogAnswerer::Run, this, std::string(caption), std::move(answers))
{
}

void DialogAnswerer::Join()
{
    if (thread_.joinable())
        thread_.join();
}

void DialogAnswerer::Run(std::string caption, std::vector<DialogAnswer> answers)
{
    for (const DialogAnswer& answer : answers) {
        HWND dialog = WaitForDialog(GetCurrentProcessId(), caption.c_str(), 10000);
        if (!dialog)
            return;
        owner_ = GetWindow(dialog, GW_OWNER);
        AnswerDialog(dialog, answer);
        ++answered_;
        if (watchedField_) {
            char text[256] = "";
            if (IsWindow(dialog))
                GetDlgItemTextA(dialog, watchedField_, text, sizeof text);
            seen_.push_back(text);
        }
    }
}
