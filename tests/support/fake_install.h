// tests/support/fake_install.h: a game installation made for one test: a
// temporary folder with files, and the game's registry key pointing at it.
// Both are removed again when the test ends.
#pragma once
#include <windows.h>

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Writes a file below the folder (relative path), making folders on the way.
    void WriteFile(const std::string& relative, const std::string& contents) const;
    void MakeFolder(const std::string& relative) const;
    std::string ReadFile(const std::string& relative) const;

private:
    std::string path_;
};

// HKLM "SOFTWARE\Tessel Studios\KUBO TRAX\Path"; deleted on destruction.
class InstallKey {
public:
    InstallKey() = default;
    ~InstallKey() { Remove(); }
    InstallKey(const InstallKey&) = delete;
    InstallKey& operator=(const InstallKey&) = delete;

    void SetPath(const std::string& directory);
    void SetValue(DWORD type, const void* data, DWORD size);
    void RemoveDefaultValue();
    void Remove();
};

// The value of a key in an INI file such as kubo.ini, or "<missing>".
std::string IniValue(const std::string& file, const char* section, const char* key);

// Deletes a folder and everything below it.
void DeleteTree(const std::string& path);
