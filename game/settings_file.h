// game/settings_file.h: the game's installation and its settings file kubo.ini,
// read and written through the profile-file functions. Nothing is cached;
// every call goes to the file.
#pragma once
#include <windows.h>

#include <cstddef>

// Paths and layout names travel in buffers of this size (at most 1283 characters).
constexpr size_t kPathBufferSize = 1284;

// The longest installation directory whose "\kubo.ini" still fits MAX_PATH.
constexpr size_t kMaxInstallDirectoryLength = MAX_PATH - 1 - sizeof "\\kubo.ini" + 1;

class SettingsFile {
public:
    explicit SettingsFile(const char* fullPath);
    virtual ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    int GetInt(const char* section, const char* key, int fallback) const;
    DWORD GetString(const char* section, const char* key, const char* fallback, char* out,
                    DWORD outSize) const;
    BOOL PutInt(const char* section, const char* key, int value) const;
    BOOL PutString(const char* section, const char* key, const char* text) const;
    const char* Path() const { return path_; }

private:
    char path_[MAX_PATH];
};

// The installation directory from the game's registry key. 1 on success; on
// failure out holds the empty text. A value that does not fit is refused.
int ReadInstallDirectory(char (&out)[kPathBufferSize]);

// Pure: whether a directory from the registry can stand for an installation.
// It must be absolute ("X:\..." or "\\server\...") and hold no double quote:
// an empty or relative one would make the saver run a program relative to
// the drive root or its current directory, and a quote would break the
// quoting of the game's path.
bool IsUsableInstallDirectory(const char* directory);

// Makes a SettingsFile for kubo.ini in the installation directory current and
// reads the resource directory from it. 1: loaded, 0: no usable installation.
int LoadGameSettings();

// Destroys the current SettingsFile; safe to call when nothing is loaded.
void ReleaseGameSettings();

// Process-wide state of the load; empty texts and null until a load succeeds.
SettingsFile* CurrentSettings();
const char* InstallDirectory();
const char* ResourceDirectory();

// Restores the start values; for tests only.
void ResetGameSettingsForTest();
