#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/text.h"
#include "game/settings_file.h"
#include "setup/layout_catalogue.h"
#include "tests/support/fake_install.h"
#include "tests/support/import_hook.h"

namespace {

// Takes the list apart, freeing each node the way the dialog does.
std::vector<std::string> Drain(LayoutEntry* head)
{
    std::vector<std::string> names;
    while (head) {
        names.push_back(head->name);
        LayoutEntry* next = head->next;
        delete head;
        head = next;
    }
    return names;
}

// The order in which the system reports a folder's entries.
std::vector<std::string> SystemOrder(const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

class LayoutCatalogue : public ::testing::Test {
protected:
    void SetUp() override { ResetGameSettingsForTest(); }
    void TearDown() override { ResetGameSettingsForTest(); }
    void LoadWithResourceDirectory(const std::string& res)
    {
        folder_.WriteFile("kubo.ini", "[DIRECTORIES]\r\nres=" + res + "\r\n");
        key_.SetPath(folder_.Path());
        ASSERT_EQ(1, LoadGameSettings());
    }
    TempFolder folder_;
    InstallKey key_;
};

TEST_F(LayoutCatalogue, ListsInTheReverseOfTheSystemsOrder)
{
    for (const char* name : {"a.sav", "b.sav", "c.sav", "Town.SAV"})
        folder_.WriteFile(std::string("Res\\ScrSaver\\") + name, "layout");
    folder_.WriteFile("Res\\ScrSaver\\notes.txt", "not a layout");
    LoadWithResourceDirectory(folder_.Path() + "\\Res");

    std::vector<std::string> expected = SystemOrder(folder_.Path() + "\\Res\\ScrSaver\\*.sav");
    ASSERT_EQ(4u, expected.size());
    std::vector<std::string> reversed(expected.rbegin(), expected.rend());
    EXPECT_EQ(reversed, Drain(FindLayouts(LayoutFolder::ScrSaver)));
}

TEST_F(LayoutCatalogue, SkipsDotNamesButListsFoldersAndHiddenFiles)
{
    folder_.WriteFile("Res\\ScrSaver\\.old.sav", "hidden by its name");
    LoadWithResourceDirectory(folder_.Path() + "\\Res");
    EXPECT_EQ(nullptr, FindLayouts(LayoutFolder::ScrSaver));

    folder_.MakeFolder("Res\\ScrSaver\\old.sav");
    folder_.WriteFile("Res\\ScrSaver\\secret.sav", "x");
    SetFileAttributesA((folder_.Path() + "\\Res\\ScrSaver\\secret.sav").c_str(), FILE_ATTRIBUTE_HIDDEN);
    std::vector<std::string> names = Drain(FindLayouts(LayoutFolder::ScrSaver));
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"old.sav", "secret.sav"}), names);
}

TEST_F(LayoutCatalogue, EachCallListsItsOwnFolder)
{
    folder_.WriteFile("Res\\ScrSaver\\ss800.sav", "x");
    folder_.WriteFile("Res\\SaveGame\\ss800.sav", "x");
    folder_.WriteFile("Res\\SaveGame\\mine.sav", "x");
    LoadWithResourceDirectory(folder_.Path() + "\\Res");
    EXPECT_EQ(1u, Drain(FindLayouts(LayoutFolder::ScrSaver)).size());
    EXPECT_EQ(2u, Drain(FindLayouts(LayoutFolder::SaveGame)).size());

    DeleteTree(folder_.Path() + "\\Res\\SaveGame");
    EXPECT_EQ(nullptr, FindLayouts(LayoutFolder::SaveGame));
    EXPECT_EQ((std::vector<std::string>{"ss800.sav"}), Drain(FindLayouts(LayoutFolder::ScrSaver)));
}

TEST_F(LayoutCatalogue, LongAndAccentedNamesArriveWhole)
{
    const std::string base = folder_.Path() + "\\Res\\ScrSaver\\";
    // The longest name the file system takes here: the path is at most 259 characters.
    const std::string longName = std::string(259 - base.size() - 4, 'L') + ".sav";
    const std::string accented = "Caf\xE9 \xC4rger.sav";
    folder_.WriteFile("Res\\ScrSaver\\" + longName, "x");
    folder_.WriteFile("Res\\ScrSaver\\" + accented, "x");
    folder_.WriteFile("Res\\ScrSaver\\a.sav", "x");
    LoadWithResourceDirectory(folder_.Path() + "\\Res");
    std::vector<std::string> names = Drain(FindLayouts(LayoutFolder::ScrSaver));
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = {longName, accented, "a.sav"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, names);
}

// The patterns the catalogue hands to the system's directory search.
std::vector<std::string> g_searchedPatterns;
HANDLE WINAPI RecordSearch(LPCSTR pattern, LPWIN32_FIND_DATAA)
{
    g_searchedPatterns.push_back(pattern);
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

TEST_F(LayoutCatalogue, APatternTooLongForItsBufferIsNeverSearched)
{
    // "\ScrSaver\*.sav" adds 15 characters: 1268 of directory fill the
    // 1283 a pattern may have, one more would be cut, and a cut pattern
    // could name another folder.
    for (size_t length : {1268u, 1269u, 1283u}) {
        SCOPED_TRACE(std::to_string(length) + " characters of resource directory");
        ResetGameSettingsForTest();
        const std::string directory(length, 'x');
        LoadWithResourceDirectory(directory);
        ASSERT_EQ(length, std::string(ResourceDirectory()).size());
        ImportHook hook("kernel32.dll", "FindFirstFileA", reinterpret_cast<const void*>(&RecordSearch));
        ASSERT_TRUE(hook.Installed());
        g_searchedPatterns.clear();
        EXPECT_EQ(nullptr, FindLayouts(LayoutFolder::ScrSaver));
        EXPECT_EQ(nullptr, FindLayouts(LayoutFolder::SaveGame));
        if (length == 1268)
            EXPECT_EQ((std::vector<std::string>{directory + "\\ScrSaver\\*.sav", directory + "\\SaveGame\\*.sav"}),
                      g_searchedPatterns);
        else
            EXPECT_TRUE(g_searchedPatterns.empty()) << g_searchedPatterns.front().size();
    }
}

TEST_F(LayoutCatalogue, AnEmptyResourceDirectorySearchesTheCurrentDrivesRoot)
{
    // Drive C: is the test prefix's own, so its root may be written to. The
    // current directory is below the root, so that a search relative to it
    // would look elsewhere.
    ASSERT_TRUE(CreateDirectoryA("C:\\ScrSaver", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    HANDLE file = CreateFileA("C:\\ScrSaver\\at root.sav", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    LoadWithResourceDirectory("");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    const bool moved = SetCurrentDirectoryA("C:\\windows");
    const std::vector<std::string> names = Drain(FindLayouts(LayoutFolder::ScrSaver));
    SetCurrentDirectoryA(previous);
    DeleteTree("C:\\ScrSaver");
    ASSERT_TRUE(moved);
    EXPECT_EQ(std::vector<std::string>{"at root.sav"}, names);
}

TEST(StoredLayout, ComposesTheFolderPrefixAndALowerCaseExtension)
{
    char out[kStoredLayoutSize];
    ASSERT_EQ(1, ComposeStoredLayout(LayoutFolder::ScrSaver, "Town", out, sizeof out));
    EXPECT_STREQ("ScrSaver\\Town.sav", out);
    ASSERT_EQ(1, ComposeStoredLayout(LayoutFolder::SaveGame, "ss800", out, sizeof out));
    EXPECT_STREQ("SaveGame\\ss800.sav", out);

    // 114 characters of name fill the 127 exactly; one more is refused, not cut.
    ASSERT_EQ(1, ComposeStoredLayout(LayoutFolder::ScrSaver, std::string(114, 'n').c_str(), out, sizeof out));
    EXPECT_EQ(127u, std::string(out).size());
    EXPECT_EQ(0, ComposeStoredLayout(LayoutFolder::ScrSaver, std::string(115, 'n').c_str(), out, sizeof out));
    EXPECT_STREQ("", out);
}

TEST(StoredLayout, RefusesNamesHoldingControlCharacters)
{
    char out[kStoredLayoutSize];
    for (const char* name : {"two\nlines", "a\r\n[Evil]", "\x01", "tab\there", "end\x1F", "del\x7F"}) {
        EXPECT_EQ(0, ComposeStoredLayout(LayoutFolder::ScrSaver, name, out, sizeof out)) << "name: \"" << name << '"';
        EXPECT_STREQ("", out);
    }
    for (const char* name : {" blank ", "Caf\xE9", "\xFF~!"})
        EXPECT_EQ(1, ComposeStoredLayout(LayoutFolder::SaveGame, name, out, sizeof out)) << "name: \"" << name << '"';
}

TEST(StoredLayout, SearchTextSkipsThePrefixAndCutsTheExtension)
{
    struct Case { const char* stored; const char* expected; } cases[] = {
        {"ScrSaver\\ss800.sav", "ss800"},
        {"SaveGame\\ss800.sav", "ss800"},
        {"ScrSaver\\ss8.sav", "ss8"},
        {"ScrSaver\\Town.SAV", "Town"},
        {"XXXXXXXXXabc.txt", "abc"},  // neither the prefix nor the extension is looked at
        {"ScrSaver\\.sav", ""},
        // 10 to 12 characters: the cut falls inside the prefix and the text
        // after the prefix stays whole.
        {"ScrSaver\\ss8", "ss8"},
        {"ScrSaver\\ab", "ab"},
        {"abcdef.sav", "v"},
        {"abcde.sav", ""},
        {"abc.sav", ""},
        {".sav", ""},
        {"abc", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        char stored[kStoredLayoutSize] = {};
        CopyText(stored, c.stored);
        const char* text = StoredLayoutSearchText(stored);
        if (c.expected)
            EXPECT_STREQ(c.expected, text) << "stored: " << c.stored;
        else
            EXPECT_EQ(nullptr, text) << "stored: " << c.stored;
    }
}

}  // namespace
