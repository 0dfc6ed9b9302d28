#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "game/settings_file.h"
#include "tests/support/debug_capture.h"
#include "tests/support/fake_install.h"

// While set, every non-throwing allocation of this test program fails.
static bool g_failNothrowAllocations;

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return g_failNothrowAllocations ? nullptr : std::malloc(size ? size : 1);
}

namespace {

class GameSettings : public ::testing::Test {
protected:
    void SetUp() override { ResetGameSettingsForTest(); }
    void TearDown() override { ResetGameSettingsForTest(); }
    TempFolder folder_;
    InstallKey key_;
};

TEST_F(GameSettings, LoadsKuboIniFromTheInstallationDirectory)
{
    folder_.WriteFile("kubo.ini", "[DIRECTORIES]\r\nres=D:\\Game\\Res\r\nExe=Kubo.exe\r\n");
    key_.SetPath(folder_.Path());

    DebugOutputCapture traces;
    ASSERT_EQ(1, LoadGameSettings());
    ASSERT_NE(nullptr, CurrentSettings());
    EXPECT_EQ(folder_.Path() + "\\kubo.ini", CurrentSettings()->Path());
    // The path is traced, then its line feed in a write of its own.
    const std::vector<std::string> expected = {folder_.Path() + "\\kubo.ini", "\n"};
    EXPECT_EQ(expected, traces.Strings());
    EXPECT_EQ(folder_.Path(), InstallDirectory());
    EXPECT_STREQ("D:\\Game\\Res", ResourceDirectory());
}

TEST_F(GameSettings, KeepsATrailingSeparatorAndDoublesIt)
{
    key_.SetPath(folder_.Path() + "\\");
    ASSERT_EQ(1, LoadGameSettings());
    EXPECT_EQ(folder_.Path() + "\\\\kubo.ini", CurrentSettings()->Path());
    EXPECT_EQ(folder_.Path() + "\\", InstallDirectory());
}

TEST_F(GameSettings, MissingFileOrResKeyStillLoadsWithAnEmptyResourceDirectory)
{
    key_.SetPath(folder_.Path());
    ASSERT_EQ(1, LoadGameSettings());
    EXPECT_STREQ("", ResourceDirectory());
    EXPECT_EQ(5, CurrentSettings()->GetInt("ScreenSaver", "Random", 5));
    ReleaseGameSettings();

    folder_.WriteFile("kubo.ini", "[DIRECTORIES]\r\nExe=Kubo.exe\r\n");
    ASSERT_EQ(1, LoadGameSettings());
    EXPECT_STREQ("", ResourceDirectory());
}

TEST_F(GameSettings, ASecondLoadReplacesTheCurrentObject)
{
    TempFolder other;
    key_.SetPath(folder_.Path());
    ASSERT_EQ(1, LoadGameSettings());
    key_.SetPath(other.Path());
    ASSERT_EQ(1, LoadGameSettings());
    EXPECT_EQ(other.Path() + "\\kubo.ini", CurrentSettings()->Path());
    EXPECT_EQ(other.Path(), InstallDirectory());
}

TEST_F(GameSettings, WithoutTheRegistryKeyNothingIsLoaded)
{
    key_.Remove();
    DebugOutputCapture traces;
    EXPECT_EQ(0, LoadGameSettings());
    EXPECT_TRUE(traces.Strings().empty());
    EXPECT_EQ(nullptr, CurrentSettings());
    EXPECT_STREQ("", InstallDirectory());

    key_.SetValue(REG_SZ, nullptr, 0);  // key present, default value missing
    key_.RemoveDefaultValue();
    EXPECT_EQ(0, LoadGameSettings());
    EXPECT_EQ(nullptr, CurrentSettings());
}

TEST(IsUsableInstallDirectory, TakesAbsolutePathsWithoutQuotesOnly)
{
    struct Case { const char* directory; bool usable; } cases[] = {
        {"C:\\Games\\Trax", true}, {"z:\\", true}, {"\\\\server\\share\\Trax", true},
        {"", false}, {"Games\\Trax", false}, {".\\Trax", false}, {"C:Trax", false},
        {"C:", false}, {"\\Games\\Trax", false}, {"1:\\Trax", false}, {"\\\\", false},
        {"\\\\\\x", false}, {"C:\\Games\\Tessel\" Studios\\Trax", false}, {"\"C:\\Trax\"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.usable, IsUsableInstallDirectory(c.directory)) << "directory: \"" << c.directory << '"';
}

TEST_F(GameSettings, AnUnusableDirectoryCountsAsNoInstallation)
{
    folder_.WriteFile("kubo.ini", "[DIRECTORIES]\r\nres=D:\\Res\r\n");
    for (const std::string& directory : {std::string(""), std::string("Kubo Trax"),
                                         folder_.Path() + "\\a\"b"}) {
        key_.SetPath(directory);
        DebugOutputCapture traces;
        EXPECT_EQ(0, LoadGameSettings()) << directory;
        EXPECT_EQ(nullptr, CurrentSettings()) << directory;
        EXPECT_STREQ("", InstallDirectory()) << directory;
        EXPECT_TRUE(traces.Strings().empty()) << directory;
    }
}

TEST_F(GameSettings, WritesIntegersAsDecimalText)
{
    key_.SetPath(folder_.Path());
    ASSERT_EQ(1, LoadGameSettings());
    const std::string ini = folder_.Path() + "\\kubo.ini";
    struct Case { int value; const char* text; } cases[] = {
        {1, "1"}, {0, "0"}, {-5, "-5"}, {2147483647, "2147483647"}, {-2147483647 - 1, "-2147483648"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(CurrentSettings()->PutInt("ScreenSaver", "Random", c.value));
        EXPECT_EQ(c.text, IniValue(ini, "ScreenSaver", "Random")) << c.value;
        EXPECT_EQ(c.value, CurrentSettings()->GetInt("ScreenSaver", "Random", 99));
    }
    EXPECT_TRUE(CurrentSettings()->PutString("ScreenSaver", "Layout", "ScrSaver\\ss800.sav"));
    char text[128];
    EXPECT_EQ(18u, CurrentSettings()->GetString("ScreenSaver", "Layout", "", text, sizeof text));
    EXPECT_STREQ("ScrSaver\\ss800.sav", text);
}

TEST_F(GameSettings, ReleaseIsHarmlessWhenNothingIsLoaded)
{
    ReleaseGameSettings();
    ReleaseGameSettings();
    key_.SetPath(folder_.Path());
    ASSERT_EQ(1, LoadGameSettings());
    ReleaseGameSettings();
    EXPECT_EQ(nullptr, CurrentSettings());
    ReleaseGameSettings();
    EXPECT_EQ(nullptr, CurrentSettings());
    EXPECT_EQ(folder_.Path(), InstallDirectory());  // the directories outlive the object
}

TEST_F(GameSettings, RefusesAnInstallationDirectoryTooLongForTheSettingsPath)
{
    // 250 characters leave room for "\kubo.ini" within MAX_PATH; 251 do not.
    const std::string base = "C:\\";
    const std::string fits = base + std::string(kMaxInstallDirectoryLength - base.size(), 'd');
    key_.SetPath(fits);
    ASSERT_EQ(1, LoadGameSettings());
    EXPECT_EQ(fits + "\\kubo.ini", CurrentSettings()->Path());
    ResetGameSettingsForTest();

    for (size_t length : {kMaxInstallDirectoryLength + 1, size_t(1283)}) {
        key_.SetPath(base + std::string(length - base.size(), 'd'));
        EXPECT_EQ(0, LoadGameSettings()) << length;
        EXPECT_EQ(nullptr, CurrentSettings()) << length;
        EXPECT_STREQ("", InstallDirectory()) << length;
    }
}

TEST_F(GameSettings, FailsWhenTheSettingsObjectCannotBeMade)
{
    folder_.WriteFile("kubo.ini", "[DIRECTORIES]\r\nres=D:\\Res\r\n");
    key_.SetPath(folder_.Path());
    g_failNothrowAllocations = true;
    const int loaded = LoadGameSettings();
    g_failNothrowAllocations = false;
    EXPECT_EQ(0, loaded);
    EXPECT_EQ(nullptr, CurrentSettings());
    EXPECT_STREQ("", InstallDirectory());
    EXPECT_STREQ("", ResourceDirectory());
}

TEST_F(GameSettings, TerminatesRegistryDataThatHasNoTerminatorOfItsOwn)
{
    char directory[kPathBufferSize];

    const std::string shortText = "C:\\Games\\Trax";
    key_.SetValue(REG_BINARY, shortText.data(), static_cast<DWORD>(shortText.size()));
    ASSERT_EQ(1, ReadInstallDirectory(directory));
    EXPECT_EQ(shortText, directory);

    const std::string full(1283, 'x');  // fills the buffer but for the terminator
    key_.SetValue(REG_BINARY, full.data(), 1283);
    ASSERT_EQ(1, ReadInstallDirectory(directory));
    EXPECT_EQ(full, directory);

    key_.SetValue(REG_SZ, full.c_str(), 1284);  // 1283 characters and their NUL
    ASSERT_EQ(1, ReadInstallDirectory(directory));
    EXPECT_EQ(full, directory);

    const std::string tooLong(1284, 'y');  // no room left for a terminator
    key_.SetValue(REG_BINARY, tooLong.data(), 1284);
    EXPECT_EQ(0, ReadInstallDirectory(directory));
    EXPECT_STREQ("", directory);

    key_.SetValue(REG_BINARY, tooLong.data(), 1285);
    EXPECT_EQ(0, ReadInstallDirectory(directory));
    EXPECT_STREQ("", directory);

    // All 1,284 bytes, the last not a NUL, but one earlier: text up to it.
    std::string padded = "D:\\Trax" + std::string(1, '\0') + std::string(1276, 'z');
    ASSERT_EQ(1284u, padded.size());
    key_.SetValue(REG_BINARY, padded.data(), 1284);
    ASSERT_EQ(1, ReadInstallDirectory(directory));
    EXPECT_STREQ("D:\\Trax", directory);
    padded[1282] = '\0';  // a NUL just before the last byte
    padded[7] = 'q';
    key_.SetValue(REG_BINARY, padded.data(), 1284);
    ASSERT_EQ(1, ReadInstallDirectory(directory));
    EXPECT_EQ(padded.substr(0, 1282), directory);

    const DWORD number = 0x00413A43;  // "C:A" and a zero byte, as a DWORD
    key_.SetValue(REG_DWORD, &number, sizeof number);
    ASSERT_EQ(1, ReadInstallDirectory(directory));
    EXPECT_STREQ("C:A", directory);
}

}  // namespace
