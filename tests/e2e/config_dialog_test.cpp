// The configure mode of the built saver: started the way the display control
// panel starts it, against a real installation, and driven from outside.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/fake_install.h"
#include "tests/support/host_window.h"
#include "tests/support/saver_process.h"
#include "tests/support/setup_dialog.h"

namespace {

const DWORD kTimeoutMs = 20000;

class ConfigDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        res_ = folder_.Path() + "\\Res";
        ini_ = folder_.Path() + "\\kubo.ini";
        folder_.MakeFolder("Res\\ScrSaver");
        folder_.MakeFolder("Res\\SaveGame");
        key_.SetPath(folder_.Path());
    }
    void TearDown() override { MakeWritable(ini_); }
    void WriteIni(const std::string& screenSaverLines, const std::string& language = "English")
    {
        std::string ini = RealisticKuboIni(res_, screenSaverLines);
        const std::string from = "Language=English";
        ini.replace(ini.find(from), from.size(), "Language=" + language);
        folder_.WriteFile("kubo.ini", ini);
    }
    void AddLayout(const std::string& relative) { folder_.WriteFile("Res\\" + relative, "layout"); }
    std::string Value(const char* key) { return IniValue(ini_, "ScreenSaver", key); }

    // Presses a button the way a click reaches the dialog.
    static void Press(HWND dialog, int id)
    {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
    static void Select(HWND dialog, const std::string& text)
    {
        HWND list = GetDlgItem(dialog, IDC_LAYOUT_LIST);
        const LRESULT index =
            SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
        ASSERT_NE(CB_ERR, index) << text;
        SendMessageA(list, CB_SETCURSEL, index, 0);
    }

    // Shows the stored choices in a dialog drawn for `dpi`, the DPI the saver
    // starts with, and stores new ones on OK.
    void ShowStoredChoicesAndStoreNewOnes(int dpi)
    {
        AddLayout("ScrSaver\\ss800.sav");
        AddLayout("ScrSaver\\alpine.sav");
        AddLayout("SaveGame\\ss800.sav");
        AddLayout("SaveGame\\Caf\xE9.sav");
        AddLayout("SaveGame\\Town.SAV");
        WriteIni("Layout=ScrSaver\\alpine.sav\r\nRandom=0\r\nSound=0\r\n");

        SaverProcess saver("/c");
        HWND dialog = WaitForSetupDialog(saver.Id(), kTimeoutMs);
        ASSERT_NE(nullptr, dialog);
        // Drawn for the DPI: the title picture grown with it, every control
        // whole and apart.
        const SIZE picture = TitlePictureSize(dialog);
        EXPECT_EQ(MulDiv(151, dpi, 96), picture.cx) << dpi << " DPI";
        EXPECT_EQ(MulDiv(111, dpi, 96), picture.cy) << dpi << " DPI";
        ExpectControlsWholeAndApart(dialog);
        const SetupDialogView view = ReadSetupDialog(dialog);
        ExpectEnglishTexts(view);
        // Sorted by the combo box; ss800 is in both folders and listed twice.
        EXPECT_EQ((std::vector<std::string>{"alpine", "Caf\xE9", "ss800", "ss800", "Town"}), view.items);
        EXPECT_EQ("alpine", view.selectedText);
        EXPECT_EQ(BST_UNCHECKED, view.randomChecked);
        EXPECT_EQ(BST_UNCHECKED, view.muteChecked);

        Select(dialog, "Town");
        SendDlgItemMessageA(dialog, IDC_MUTE, BM_SETCHECK, BST_CHECKED, 0);
        SendDlgItemMessageA(dialog, IDC_RANDOM, BM_SETCHECK, BST_CHECKED, 0);
        Press(dialog, IDOK);
        ASSERT_TRUE(saver.Wait(kTimeoutMs));
        EXPECT_EQ(1u, saver.ExitCode());  // the mute box's state, not IDOK
        EXPECT_EQ("SaveGame\\Town.sav", Value("Layout"));
        EXPECT_EQ("1", Value("Random"));
        EXPECT_EQ("1", Value("Sound"));
        EXPECT_EQ("Ann", IniValue(ini_, "Player", "Name"));
        EXPECT_EQ("80", IniValue(ini_, "Sound", "Music"));
        EXPECT_NE(std::string::npos, folder_.ReadFile("kubo.ini").find("; sound and music levels"));
    }

    TempFolder folder_;
    InstallKey key_;
    std::string res_;
    std::string ini_;
};

TEST_F(ConfigDialog, ShowsTheStoredChoicesAndOkStoresTheNewOnes) { ShowStoredChoicesAndStoreNewOnes(96); }

// Wine has no display of its own scale: LogPixels sets the DPI of every
// program started after it, and the dialog is laid out for it.
class ConfigDialogDpi : public ConfigDialog, public ::testing::WithParamInterface<int> {};

TEST_P(ConfigDialogDpi, ShowsTheStoredChoicesAndOkStoresTheNewOnes)
{
    DesktopSetting dpi("LogPixels", static_cast<DWORD>(GetParam()));
    ShowStoredChoicesAndStoreNewOnes(GetParam());
}

INSTANTIATE_TEST_SUITE_P(, ConfigDialogDpi, ::testing::Values(144, 192));

TEST_F(ConfigDialog, EveryConfigureCommandLineShowsItWithItsOwnerAndCancelEndsWithZero)
{
    AddLayout("ScrSaver\\ss800.sav");
    WriteIni("");
    const std::string before = folder_.ReadFile("kubo.ini");
    auto makeWindow = [](const char* title, int left) {
        return CreateWindowExA(0, "STATIC", title, WS_POPUP | WS_VISIBLE, left, 0, 50, 50, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    };
    HWND named = makeWindow("named", 0);
    HWND front = makeWindow("front", 100);
    HWND gone = makeWindow("gone", 200);
    const std::string goneText = HandleText(gone);
    DestroyWindow(gone);
    struct Case { std::string tail; HWND owner; } cases[] = {
        {"/c", front},
        {"-C", front},
        {"c " + HandleText(named), front},  // no colon: the number is not read
        {"c:", front},
        {"c:0", front},
        {"c:" + goneText, front},
        {"c:" + HandleText(named), named},
        {"/", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("tail: \"" + c.tail + '"');
        SetForegroundWindow(front);
        ASSERT_EQ(front, GetForegroundWindow());
        SaverProcess saver(c.tail);
        HWND dialog = WaitForSetupDialog(saver.Id(), kTimeoutMs);
        ASSERT_NE(nullptr, dialog);
        const SetupDialogView view = ReadSetupDialog(dialog);
        EXPECT_EQ("ss800", view.selectedText);
        EXPECT_EQ(BST_CHECKED, view.randomChecked);
        EXPECT_EQ(c.owner, GetWindow(dialog, GW_OWNER));
        SendDlgItemMessageA(dialog, IDC_MUTE, BM_SETCHECK, BST_CHECKED, 0);
        Press(dialog, IDCANCEL);
        ASSERT_TRUE(WaitPumping(saver, kTimeoutMs));
        EXPECT_EQ(0u, saver.ExitCode());
    }
    DestroyWindow(named);
    DestroyWindow(front);
    EXPECT_EQ(before, folder_.ReadFile("kubo.ini"));
}

TEST_F(ConfigDialog, ShortStoredLayoutsSelectByTheTextAfterTheFolderPrefix)
{
    AddLayout("ScrSaver\\abacus.sav");
    AddLayout("ScrSaver\\ss800.sav");
    AddLayout("SaveGame\\tower.sav");
    // The last 4 characters are cut even when they are no ".sav"; what
    // follows the 9-character folder prefix is then searched as a prefix.
    struct Case { const char* stored; const char* selected; } cases[] = {
        {"ScrSaver\\ss8", "ss800"},
        {"SaveGame\\ab", "abacus"},
        {"ScrSaver\\to.sav", "tower"},
        {"tower.sav", ""},  // 9 characters: nothing left to search
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        WriteIni(std::string("Layout=") + c.stored + "\r\n");
        SaverProcess saver("/c");
        HWND dialog = WaitForSetupDialog(saver.Id(), kTimeoutMs);
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ(c.selected, ReadSetupDialog(dialog).selectedText);
        Press(dialog, IDCANCEL);
        ASSERT_TRUE(saver.Wait(kTimeoutMs));
    }
}

TEST_F(ConfigDialog, WithoutAnInstallationEndsWithOneAndShowsNothing)
{
    key_.Remove();
    for (const std::string& tail : {std::string("/c"), std::string("")}) {
        SaverProcess saver(tail);
        bool sawWindow = false;
        const DWORD start = GetTickCount();
        while (!saver.Wait(10) && GetTickCount() - start < kTimeoutMs) {
            for (HWND window : TopLevelWindowsOf(saver.Id()))
                sawWindow = sawWindow || IsWindowVisible(window);
        }
        ASSERT_TRUE(saver.Wait(0)) << "tail: \"" << tail << '"';
        EXPECT_EQ(1u, saver.ExitCode()) << "tail: \"" << tail << '"';
        EXPECT_FALSE(sawWindow) << "tail: \"" << tail << '"';
    }
}

TEST_F(ConfigDialog, DeclaresItselfPerMonitorV2OrSystemDpiAware)
{
    key_.Remove();  // the declaration comes first; the dialog then ends at once
    // Wine makes every program DPI-aware as it starts, unless DpiScalingVer
    // says otherwise: then the saver's own declaration is what counts.
    DesktopSetting startUnaware("DpiScalingVer", 0x1000);
    SaverProcess saver("/c", true);
    ASSERT_TRUE(saver.Wait(kTimeoutMs));
    EXPECT_EQ(1u, saver.ExitCode());
    std::string declared;
    for (const std::string& line : saver.DebugStrings()) {
        if (line.rfind("kubotrax: DPI awareness: ", 0) == 0)
            declared += line;
    }
    // Per monitor v2 where the system has it, else system-aware (Wine 8
    // refuses v2), never per monitor v1.
    const bool v2 = declared.rfind("kubotrax: DPI awareness: per monitor v2", 0) == 0;
    EXPECT_TRUE(v2 || declared.find("kubotrax: DPI awareness: system (SetProcessDPIAware)\n") != std::string::npos)
        << declared;
    EXPECT_EQ(std::string::npos, declared.find("(SetProcessDpiAwareness)")) << declared;
}

TEST_F(ConfigDialog, SpeaksTheLanguageNamedInKuboIni)
{
    struct Case { const char* language; const char* caption; const char* cancel; } cases[] = {
        {"german", "KUBO TRAX-BILDSCHIRM-SETUP", "ABBRECHEN"},
        {"German", "KUBO TRAX-BILDSCHIRM-SETUP", "ABBRECHEN"},
        {"GERMAN", "KUBO TRAX-BILDSCHIRM-SETUP", "ABBRECHEN"},
        {"English", "KUBO TRAX Screen Saver Setup", "CANCEL"},
        {"French", "Installation de l\"\xE9" "conomiseur d\"\xE9" "cran KUBO TRAX", "ANNULER"},
        {"Italian", "Impostazione salvaschermo KUBO TRAX.", "ANNULLA"},
        {"Spanish", "Instalaci\xF3n del protector de pantallas de KUBO TRAX", "CANCELAR"},
        {"Dutch", "KUBO TRAX schermbeveiliging instelling", "ANNULEREN"},
        {"Danish", "Ops\xE6tning for KUBO TRAX-pausesk\xE6rm", "ANNULL\xC8R"},
        {"Norwegian", "Installasjon av KUBO TRAX-skjermsparer", "AVBRYT"},
        {"Swedish", "Installera KUBO TRAX sk\xE4rmsl\xE4" "ckare", "AVBRYT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        WriteIni("", c.language);
        SaverProcess saver("/c");
        HWND dialog = WaitForSetupDialog(saver.Id(), kTimeoutMs);
        ASSERT_NE(nullptr, dialog);
        const SetupDialogView view = ReadSetupDialog(dialog);
        EXPECT_EQ(c.caption, view.caption);
        EXPECT_EQ(c.cancel, view.cancelText);
        Press(dialog, IDCANCEL);
        ASSERT_TRUE(saver.Wait(kTimeoutMs));
    }
}

TEST_F(ConfigDialog, AReadOnlyKuboIniIsReportedAndTheDialogStaysOpen)
{
    AddLayout("ScrSaver\\ss800.sav");
    WriteIni("Layout=ScrSaver\\ss800.sav\r\nRandom=1\r\nSound=0\r\n");
    if (!MakeReadOnly(ini_))
        GTEST_SKIP() << "kubo.ini cannot be made unwritable here (root without chattr)";

    SaverProcess saver("/c");
    HWND dialog = WaitForSetupDialog(saver.Id(), kTimeoutMs);
    ASSERT_NE(nullptr, dialog);
    SendDlgItemMessageA(dialog, IDC_RANDOM, BM_SETCHECK, BST_UNCHECKED, 0);
    Press(dialog, IDOK);
    HWND box = WaitForMessageBox(saver.Id(), "KUBO TRAX", kTimeoutMs);
    ASSERT_NE(nullptr, box);
    // The system's own text for the failure is shown (access denied here).
    char text[512] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    EXPECT_NE(std::string::npos, std::string(text).find("ccess")) << text;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    // Once the box is gone, a message sent to the dialog is handled only
    // after OK's handling has returned: by then the dialog has decided.
    const DWORD start = GetTickCount();
    while (IsWindow(box) && GetTickCount() - start < kTimeoutMs)
        Sleep(20);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kTimeoutMs, &ignored);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_FALSE(saver.Wait(0));
    EXPECT_EQ("1", Value("Random"));

    // Writable again: the same OK now saves and ends.
    MakeWritable(ini_);
    Press(dialog, IDOK);
    ASSERT_TRUE(saver.Wait(kTimeoutMs));
    EXPECT_EQ(0u, saver.ExitCode());
    EXPECT_EQ("0", Value("Random"));
}

TEST_F(ConfigDialog, LongShortAndManyNamesAreListedAndStoredSafely)
{
    // Base names of 1 to 200 characters (the file-name limit leaves no more).
    const std::vector<size_t> lengths = {1, 2, 114, 115, 127, 128, 200};
    for (size_t length : lengths)
        AddLayout("ScrSaver\\" + std::string(length, 'n') + ".sav");
    const LayoutFiles many(res_ + "\\SaveGame", "game", 10000);
    ASSERT_TRUE(many.Made());
    WriteIni("Layout=" + std::string(5000, 'x') + "\r\n");

    SaverProcess saver("/c");
    HWND dialog = WaitForSetupDialog(saver.Id(), 60000);
    ASSERT_NE(nullptr, dialog);
    // Counted, not read item by item: 10,000 cross-process reads take long.
    EXPECT_EQ(static_cast<LRESULT>(10000 + lengths.size()), SendDlgItemMessageA(dialog, IDC_LAYOUT_LIST, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(CB_ERR, SendDlgItemMessageA(dialog, IDC_LAYOUT_LIST, CB_GETCURSEL, 0, 0));
    // 200 characters do not fit a stored form: OK leaves Layout as it was.
    Select(dialog, std::string(200, 'n'));
    Press(dialog, IDOK);
    ASSERT_TRUE(saver.Wait(kTimeoutMs));
    EXPECT_EQ(0u, saver.ExitCode());
    EXPECT_EQ(std::string(255, 'x'), Value("Layout").substr(0, 255));
    EXPECT_EQ("1", Value("Random"));

    // 114 characters fill the stored form exactly and are stored whole.
    WriteIni("Layout=\r\n");
    SaverProcess again("");
    dialog = WaitForSetupDialog(again.Id(), 60000);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(CB_ERR, SendDlgItemMessageA(dialog, IDC_LAYOUT_LIST, CB_GETCURSEL, 0, 0));
    const std::string name114(114, 'n');
    Select(dialog, name114);
    Press(dialog, IDOK);
    ASSERT_TRUE(again.Wait(kTimeoutMs));
    EXPECT_EQ("ScrSaver\\" + name114 + ".sav", Value("Layout"));
}

TEST_F(ConfigDialog, BinaryGarbageInKuboIniStillGivesAWorkingDialog)
{
    AddLayout("ScrSaver\\ss800.sav");
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    folder_.WriteFile("kubo.ini", garbage);
    SaverProcess saver("/c");
    HWND dialog = WaitForSetupDialog(saver.Id(), kTimeoutMs);
    ASSERT_NE(nullptr, dialog);
    Press(dialog, IDOK);
    ASSERT_TRUE(saver.Wait(kTimeoutMs));
    EXPECT_EQ(0u, saver.ExitCode());
}

// Without a usable "Language" value the system locale decides. The driver
// passes its own locale on to the saver, so ctest runs this test once more
// under other locales, some with the user's locale unlike the system's.
TEST_F(ConfigDialog, WithoutALanguageTheSystemLocaleDecides)
{
    const LANGID primary = PRIMARYLANGID(LANGIDFROMLCID(GetSystemDefaultLCID()));
    if (const char* expected = std::getenv("KUBO_EXPECTED_PRIMARY_LANGUAGE")) {
        ASSERT_EQ(std::atoi(expected), primary) << "the system locale did not reach the driver";
    }
    if (const char* expected = std::getenv("KUBO_EXPECTED_USER_PRIMARY_LANGUAGE")) {
        ASSERT_EQ(std::atoi(expected), PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID())))
            << "the user locale did not reach the driver";
    }
    const char* caption = "KUBO TRAX Screen Saver Setup";
    if (primary == LANG_GERMAN)
        caption = "KUBO TRAX-BILDSCHIRM-SETUP";
    else if (primary == LANG_CATALAN || primary == LANG_SPANISH)
        caption = "Instalaci\xF3n del protector de pantallas de KUBO TRAX";
    else if (primary != LANG_ENGLISH)
        GTEST_SKIP() << "no expectation for primary language " << primary;

    // nullptr: kubo.ini has no "Language" key at all.
    for (const char* language : {"NONE", "", "PORTUGUESE", "GERMANY", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(language ? std::string("Language=") + language : std::string("no Language key"));
        WriteIni("", language ? language : "English");
        if (!language)
            WritePrivateProfileStringA("Locale", "Language", nullptr, ini_.c_str());
        ASSERT_EQ(language ? language : "<missing>", IniValue(ini_, "Locale", "Language"));
        SaverProcess saver("/c");
        HWND dialog = WaitForSetupDialog(saver.Id(), kTimeoutMs);
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ(caption, ReadSetupDialog(dialog).caption);
        Press(dialog, IDCANCEL);
        ASSERT_TRUE(saver.Wait(kTimeoutMs));
    }
}

}  // namespace
