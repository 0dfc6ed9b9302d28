#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "game/language.h"
#include "game/settings_file.h"
#include "res/resource.h"
#include "tests/support/fake_install.h"

// Failure lines show the language's number rather than its bytes.
void PrintTo(LanguageId language, std::ostream* out) { *out << static_cast<int>(language); }

namespace {
using L = LanguageId;

TEST(LanguageFromSettingsText, FoldsAsciiCaseAndNeedsTheWholeName)
{
    struct Case { const char* text; LanguageId expected; } cases[] = {
        {"german", L::German}, {"German", L::German}, {"GERMAN", L::German}, {"dAnIsH", L::Danish},
        {"dutch", L::Dutch}, {"english", L::English}, {"french", L::French}, {"italian", L::Italian},
        {"norwegian", L::Norwegian}, {"spanish", L::Spanish}, {"swedish", L::Swedish},
        {"NONE", L::None}, {"", L::None}, {"PORTUGUESE", L::None}, {"GERMANY", L::None},
        {"GERMA", L::None}, {" GERMAN", L::None}, {"GERMAN ", L::None}, {"FRENCH\t", L::None},
        {"FR\xC9NCH", L::None}, {"\xE9nglish", L::None},  // accented bytes are not folded
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, LanguageFromSettingsText(c.text)) << "text: \"" << c.text << '"';
    EXPECT_EQ(L::None, LanguageFromSettingsText(std::string(5000, 'A').c_str()));
}

TEST(LanguageFromPrimaryLanguage, MapsTheNineLanguagesAndFallsBackToEnglish)
{
    struct Case { LCID locale; LanguageId expected; } cases[] = {
        {0x0403, L::Spanish},  // Catalan
        {0x0406, L::Danish},   {0x0407, L::German},  {0x0807, L::German},  {0x0409, L::English},
        {0x0809, L::English},  {0x040A, L::Spanish}, {0x0C0A, L::Spanish}, {0x040C, L::French},
        {0x0410, L::Italian},  {0x0413, L::Dutch},   {0x0414, L::Norwegian},
        {0x0814, L::Norwegian},  // Nynorsk
        {0x041D, L::Swedish},  {0x0816, L::English},  // Portuguese
        {0x0411, L::English},  {0x0000, L::English},
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
    static LanguageId SystemLanguage() { return LanguageFromPrimaryLanguage(GetSystemDefaultLCID() & 0x3ff); }

    TempFolder folder_;
    InstallKey key_;
};

// Read while the test program starts, before any test has selected or reset
// anything: the language the process begins with.
const LanguageId kLanguageAtStart = CurrentLanguage();
const int kCaptionIdAtStart = LocalizedStringId(IDS_SETUP_CAPTION);

TEST(LanguageAtStart, IsEnglishBeforeAnySelection)
{
    EXPECT_EQ(LanguageId::English, kLanguageAtStart);
    EXPECT_EQ(114, kCaptionIdAtStart);
}

TEST_F(Language, TakesTheGamesLanguageFromKuboIni)
{
    SelectWithIni("[DIRECTORIES]\r\nres=.\r\n[Locale]\r\nLanguage=swedish\r\n");
    EXPECT_EQ(LanguageId::Swedish, CurrentLanguage());
    EXPECT_EQ(313, LocalizedStringId(IDS_OK));
    SelectWithIni("[Locale]\r\nLanguage=French\r\n");
    EXPECT_EQ(LanguageId::French, CurrentLanguage());
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
