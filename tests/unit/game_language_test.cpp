#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "game/language.h"
#include "game/settings_file.h"
#include "res/resource.h"
#include "tests/support/fake_install.h"

namespace {

TEST(LanguageFromSettingsText, FoldsAsciiCaseAndNeedsTheWholeName)
{
    struct Case { const char* text; int expected; } cases[] = {
        {"german", GERMAN}, {"German", GERMAN}, {"GERMAN", GERMAN}, {"dAnIsH", DANISH},
        {"dutch", DUTCH}, {"english", ENGLISH}, {"french", FRENCH}, {"italian", ITALIAN},
        {"norwegian", NORWEGIAN}, {"spanish", SPANISH}, {"swedish", SWEDISH},
        {"NONE", 0}, {"", 0}, {"PORTUGUESE", 0}, {"GERMANY", 0}, {"GERMA", 0},
        {" GERMAN", 0}, {"GERMAN ", 0}, {"FRENCH\t", 0},
        {"FR\xC9NCH", 0}, {"\xE9nglish", 0},  // accented bytes are not folded
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, LanguageFromSettingsText(c.text)) << "text: \"" << c.text << '"';
    EXPECT_EQ(0, LanguageFromSettingsText(std::string(5000, 'A').c_str()));
}

TEST(LanguageFromPrimaryLanguage, MapsTheNineLanguagesAndFallsBackToEnglish)
{
    struct Case { LCID locale; int expected; } cases[] = {
        {0x0403, SPANISH},   // Catalan
        {0x0406, DANISH},    {0x0407, GERMAN},  {0x0807, GERMAN},  {0x0409, ENGLISH},
        {0x0809, ENGLISH},   {0x040A, SPANISH}, {0x0C0A, SPANISH}, {0x040C, FRENCH},
        {0x0410, ITALIAN},   {0x0413, DUTCH},   {0x0414, NORWEGIAN},
        {0x0814, NORWEGIAN},  // Nynorsk
        {0x041D, SWEDISH},   {0x0816, ENGLISH},  // Portuguese
        {0x0411, ENGLISH},   {0x0000, ENGLISH},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, LanguageFromPrimaryLanguage(c.locale & 0x3ff)) << std::hex << "locale 0x" << c.locale;
}

class Language : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGameSettingsForTest();
        ResetLanguageForTest();
        key_.SetPath(folder_.Path());
    }
    void TearDown() override
    {
        ResetGameSettingsForTest();
        ResetLanguageForTest();
    }
    void SelectWithIni(const std::string& contents)
    {
        folder_.WriteFile("kubo.ini", contents);
        ASSERT_EQ(1, LoadGameSettings());
        SelectLanguage();
        ReleaseGameSettings();
    }
    static int SystemLanguage() { return LanguageFromPrimaryLanguage(GetSystemDefaultLCID() & 0x3ff); }

    TempFolder folder_;
    InstallKey key_;
};

// Read while the test program starts, before any test has selected or reset
// anything: the language the process begins with.
const int kLanguageAtStart = CurrentLanguage();
const int kCaptionIdAtStart = LocalizedStringId(IDS_SETUP_CAPTION);

TEST(LanguageAtStart, IsEnglishBeforeAnySelection)
{
    EXPECT_EQ(ENGLISH, kLanguageAtStart);
    EXPECT_EQ(114, kCaptionIdAtStart);
}

TEST_F(Language, TakesTheGamesLanguageFromKuboIni)
{
    SelectWithIni("[DIRECTORIES]\r\nres=.\r\n[Locale]\r\nLanguage=swedish\r\n");
    EXPECT_EQ(SWEDISH, CurrentLanguage());
    EXPECT_EQ(313, LocalizedStringId(IDS_OK));
    SelectWithIni("[Locale]\r\nLanguage=French\r\n");
    EXPECT_EQ(FRENCH, CurrentLanguage());
    EXPECT_EQ(253, LocalizedStringId(IDS_OK));
}

TEST_F(Language, FallsBackToTheSystemLocale)
{
    const char* inis[] = {
        "[Locale]\r\nLanguage=PORTUGUESE\r\n",
        "[Locale]\r\nLanguage=\r\n",
        "[Locale]\r\nLanguage=NONE\r\n",
        "[DIRECTORIES]\r\nres=.\r\n",
        "\x01\xFF\xFE[Locale\x07\x80garbage=\r\n\r\n",
    };
    for (const char* ini : inis) {
        SelectWithIni("[Locale]\r\nLanguage=German\r\n");  // something other than the fallback first
        SelectWithIni(ini);
        EXPECT_EQ(SystemLanguage(), CurrentLanguage()) << "kubo.ini: " << ini;
    }
}

TEST_F(Language, WithoutASettingsFileTheSystemLocaleDecides)
{
    SelectWithIni("[Locale]\r\nLanguage=Danish\r\n");
    ASSERT_EQ(nullptr, CurrentSettings());
    SelectLanguage();
    EXPECT_EQ(SystemLanguage(), CurrentLanguage());
}

TEST_F(Language, LoadsTheStringOfTheChosenLanguage)
{
    char text[128];
    SelectWithIni("[Locale]\r\nLanguage=GERMAN\r\n");
    EXPECT_EQ(217, LocalizedStringId(IDS_OK));
    LoadLocalizedString(IDS_CANCEL, text, sizeof text);
    EXPECT_STREQ("ABBRECHEN", text);
    SelectWithIni("[Locale]\r\nLanguage=english\r\n");
    LoadLocalizedString(IDS_SETUP_CAPTION, text, sizeof text);
    EXPECT_STREQ("KUBO TRAX Screen Saver Setup", text);
    // The buffer's size cuts the text.
    LoadLocalizedString(IDS_SETUP_CAPTION, text, 5);
    EXPECT_STREQ("KUBO", text);
}

}  // namespace
