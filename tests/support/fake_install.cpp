#include "tests/support/fake_install.h"

#include <cstdio>

namespace {
const char kGameKey[] = "SOFTWARE\\Tessel Studios";
const char kPathKey[] = "SOFTWARE\\Tessel Studios\\KUBO TRAX\\Path";
}  // namespace

TempFolder::TempFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static int counter;
    char name[MAX_PATH];
    std::snprintf(name, sizeof name, "%skubo-test-%lu-%d", temp, GetCurrentProcessId(), ++counter);
    path_ = name;
    DeleteTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { DeleteTree(path_); }

void TempFolder::MakeFolder(const std::string& relative) const
{
    std::string path = path_;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('\\', start);
        if (end == std::string::npos)
            end = relative.size();
        path += "\\" + relative.substr(start, end - start);
        CreateDirectoryA(path.c_str(), nullptr);
        start = end + 1;
    }
}

void TempFolder::WriteFile(const std::string& relative, const std::string& contents) const
{
    const size_t slash = relative.rfind('\\');
    if (slash != std::string::npos)
        MakeFolder(relative.substr(0, slash));
    const std::string path = path_ + "\\" + relative;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(file);
}

std::string TempFolder::ReadFile(const std::string& relative) const
{
    const std::string path = path_ + "\\" + relative;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string contents;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        contents.append(chunk, got);
    CloseHandle(file);
    return contents;
}

void InstallKey::SetPath(const std::string& directory)
{
    SetValue(REG_SZ, directory.c_str(), static_cast<DWORD>(directory.size() + 1));
}

void InstallKey::SetValue(DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPathKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (data)
        RegSetValueExA(key, nullptr, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void InstallKey::RemoveDefaultValue()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPathKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, nullptr);
    RegCloseKey(key);
}

void InstallKey::Remove()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPathKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tessel Studios\\KUBO TRAX");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kGameKey);
}

void DeleteTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

std::string IniValue(const std::string& file, const char* section, const char* key)
{
    char value[256];
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, file.c_str());
    return value;
}
