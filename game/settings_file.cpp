#include "game/settings_file.h"

#include <new>

#include "common/handles.h"
#include "common/text.h"

namespace {
// What the last successful load found. Only this file writes it.
char g_installDirectory[kPathBufferSize];   // as the registry holds it
char g_resourceDirectory[kPathBufferSize];  // key "res" of section "DIRECTORIES"
SettingsFile* g_currentSettings;            // null until loaded

const char kInstallKey[] = "SOFTWARE\\Tessel Studios\\KUBO TRAX\\Path";
}  // namespace

SettingsFile::SettingsFile(const char* fullPath)
{
    // The loader refuses paths that would not fit, so a cut never happens here.
    CopyText(path_, fullPath);
}

SettingsFile::~SettingsFile() = default;

int SettingsFile::GetInt(const char* section, const char* key, int fallback) const
{
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, path_));
}

DWORD SettingsFile::GetString(const char* section, const char* key, const char* fallback,
                              char* out, DWORD outSize) const
{
    return GetPrivateProfileStringA(section, key, fallback, out, outSize, path_);
}

BOOL SettingsFile::PutInt(const char* section, const char* key, int value) const
{
    char text[100];  // "%d" writes at most 11 characters
    wsprintfA(text, "%d", value);
    return WritePrivateProfileStringA(section, key, text, path_);
}

BOOL SettingsFile::PutString(const char* section, const char* key, const char* text) const
{
    return WritePrivateProfileStringA(section, key, text, path_);
}

int ReadInstallDirectory(char (&out)[kPathBufferSize])
{
    out[0] = '\0';
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return 0;

    // The value's type is not checked, so its data need not end in a NUL.
    // Terminate it inside the buffer. Data that fills the whole buffer is
    // text up to its first NUL; with no NUL anywhere it does not fit and is
    // refused rather than cut.
    char value[kPathBufferSize] = {};
    DWORD type = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS)
        return 0;
    if (size >= sizeof value) {
        if (!ContainsByte(value, sizeof value, '\0'))
            return 0;
    } else {
        value[size] = '\0';
    }
    CopyText(out, value);
    return 1;
}

bool IsUsableInstallDirectory(const char* directory)
{
    if (ContainsByte(directory, TextLength(directory), '"'))
        return false;  // Windows paths never hold one
    const char drive = directory[0];
    const bool driveLetter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    if (driveLetter && directory[1] == ':' && directory[2] == '\\')
        return true;
    // A network share: two backslashes and a server's name.
    return directory[0] == '\\' && directory[1] == '\\' && directory[2] != '\0' && directory[2] != '\\';
}

int LoadGameSettings()
{
    // An unusable directory counts as no installation at all.
    char directory[kPathBufferSize];
    if (!ReadInstallDirectory(directory) || !IsUsableInstallDirectory(directory))
        return 0;

    // The settings file's path must fit the object's MAX_PATH field: a longer
    // installation directory is refused rather than cut into a path that
    // points somewhere else. No check for a separator already at the end.
    if (TextLength(directory) > kMaxInstallDirectoryLength)
        return 0;
    char fullPath[MAX_PATH];
    JoinText(fullPath, sizeof fullPath, {directory, "\\kubo.ini"});  // fits: checked above

    SettingsFile* settings = new (std::nothrow) SettingsFile(fullPath);
    if (!settings)
        return 0;

    CopyText(g_installDirectory, directory);
    OutputDebugStringA(fullPath);
    OutputDebugStringA("\n");
    // The saver loads once per process; a second load replaces the object
    // rather than leaking it.
    ReleaseGameSettings();
    g_currentSettings = settings;
    settings->GetString("DIRECTORIES", "res", "", g_resourceDirectory, sizeof g_resourceDirectory);
    return 1;
}

void ReleaseGameSettings()
{
    if (!g_currentSettings)
        return;
    delete g_currentSettings;
    g_currentSettings = nullptr;
}

SettingsFile* CurrentSettings() { return g_currentSettings; }
const char* InstallDirectory() { return g_installDirectory; }
const char* ResourceDirectory() { return g_resourceDirectory; }

void ResetGameSettingsForTest()
{
    ReleaseGameSettings();
    g_installDirectory[0] = '\0';
    g_resourceDirectory[0] = '\0';
}
