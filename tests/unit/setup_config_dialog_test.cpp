#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/startup.h"
#include "game/language.h"
#include "game/settings_file.h"
#include "res/resource.h"
#include "setup/config_dialog.h"
#include "setup/layout_catalogue.h"
#include "system/dpi_awareness.h"
#include "tests/support/fake_install.h"
#include "tests/support/import_hook.h"
#include "tests/support/pixels.h"
#include "tests/support/setup_dialog.h"

namespace {

// ---- The template as the resource compiler stored it ----

struct TemplateReader {
    const BYTE* at;
    WORD Word() { WORD v; memcpy(&v, at, 2); at += 2; return v; }
    DWORD Dword() { DWORD v; memcpy(&v, at, 4); at += 4; return v; }
    void AlignDword(const BYTE* base) { while ((at - base) % 4) ++at; }
    // A string or, after 0xFFFF, an ordinal written as "#n".
    std::string SzOrOrd()
    {
        WORD first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        std::string text;
        for (WORD c = first; c != 0; c = Word())
            text += static_cast<char>(c);
        return text;
    }
};

struct Control {
    DWORD id, style, exStyle;
    short x, y, cx, cy;
    std::string windowClass, text;
};

TEST(SetupDialogTemplate, HasTheDialogsStyleFontAndSevenControls)
{
    HRSRC found = FindResourceExA(GetModuleHandleA(nullptr), RT_DIALOG, MAKEINTRESOURCEA(IDD_SETUP),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK));
    ASSERT_NE(nullptr, found);
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(GetModuleHandleA(nullptr), found)));
    TemplateReader r{base};
    EXPECT_EQ(1, r.Word());
    EXPECT_EQ(0xFFFF, r.Word());  // extended template
    r.Dword();
    EXPECT_EQ(0u, r.Dword());
    EXPECT_EQ(0x80C008C0u, r.Dword());
    const WORD count = r.Word();
    ASSERT_EQ(7, count);
    r.Word(); r.Word();
    EXPECT_EQ(189, r.Word());
    EXPECT_EQ(81, r.Word());
    EXPECT_EQ("", r.SzOrOrd());  // menu
    EXPECT_EQ("", r.SzOrOrd());  // class
    EXPECT_EQ("", r.SzOrOrd());  // caption
    EXPECT_EQ(12, r.Word());
    EXPECT_EQ(0, r.Word());
    const WORD italicAndCharset = r.Word();
    EXPECT_EQ(0, LOBYTE(italicAndCharset));
    EXPECT_EQ(1, HIBYTE(italicAndCharset));
    EXPECT_EQ("Arial", r.SzOrOrd());

    const Control expected[] = {
        {IDOK, 0x5001000B, 0, 5, 65, 52, 10, "#128", "OK"},
        {IDCANCEL, 0x5001000B, 0, 130, 65, 52, 10, "#128", "Cancel"},
        {IDC_RANDOM, 0x50010103, 0, 5, 5, 102, 8, "#128", "Use Random Selection"},
        {IDC_MUTE, 0x50010103, 0, 5, 20, 102, 8, "#128", "Mute Sound"},
        {IDC_LAYOUT_LABEL, 0x50020000, 0x20, 5, 35, 102, 8, "#130", "Select Layout:"},
        {IDC_LAYOUT_LIST, 0x50210142, 0, 5, 45, 102, 75, "#133", ""},
        {0xFFFFFFFF, 0x5080180E, 0x20000, 115, 5, 69, 51, "#130", "#111"},
    };
    for (const Control& want : expected) {
        r.AlignDword(base);
        SCOPED_TRACE("control " + std::to_string(static_cast<int>(want.id)));
        r.Dword();
        EXPECT_EQ(want.exStyle, r.Dword());
        EXPECT_EQ(want.style, r.Dword());
        EXPECT_EQ(want.x, static_cast<short>(r.Word()));
        EXPECT_EQ(want.y, static_cast<short>(r.Word()));
        EXPECT_EQ(want.cx, static_cast<short>(r.Word()));
        EXPECT_EQ(want.cy, static_cast<short>(r.Word()));
        EXPECT_EQ(want.id, r.Dword());
        EXPECT_EQ(want.windowClass, r.SzOrOrd());
        EXPECT_EQ(want.text, r.SzOrOrd());
        r.at += r.Word();  // creation data
    }
}

TEST(ChooseButtonLook, DisabledWinsOverPressedAndFocusChangesNothing)
{
    struct Case { UINT state; int face; COLORREF colour; int offset; } cases[] = {
        {0, IDB_BUTTON_NORMAL, 0, 0},
        {ODS_FOCUS, IDB_BUTTON_NORMAL, 0, 0},
        {ODS_SELECTED, IDB_BUTTON_PRESSED, 0, 1},
        {ODS_SELECTED | ODS_FOCUS, IDB_BUTTON_PRESSED, 0, 1},
        {ODS_DISABLED, IDB_BUTTON_DISABLED, RGB(92, 92, 92), 0},
        {ODS_DISABLED | ODS_SELECTED, IDB_BUTTON_DISABLED, RGB(92, 92, 92), 0},
    };
    for (const Case& c : cases) {
        const ButtonLook look = ChooseButtonLook(c.state);
        EXPECT_EQ(c.face, look.faceId) << "state " << c.state;
        EXPECT_EQ(c.colour, look.textColour) << "state " << c.state;
        EXPECT_EQ(c.offset, look.textOffset) << "state " << c.state;
    }
}

std::string WithoutBlankLines(std::string text)
{
    for (size_t at; (at = text.find("\r\n\r\n")) != std::string::npos;)
        text.erase(at, 2);
    return text;
}

// ---- The dialog on a real window, set up from a real installation ----

class SetupDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
        ResetGameSettingsForTest();
        ResetLanguageForTest();
        ResetConfigDialogForTest();
        key_.SetPath(folder_.Path());
        res_ = folder_.Path() + "\\Res";
        ini_ = folder_.Path() + "\\kubo.ini";
        folder_.MakeFolder("Res\\ScrSaver");
        folder_.MakeFolder("Res\\SaveGame");
    }
    void TearDown() override
    {
        if (dialog_)
            DestroyWindow(dialog_);
        ResetConfigDialogForTest();
        ResetGameSettingsForTest();
        ResetLanguageForTest();
    }
    void WriteIni(const std::string& screenSaverLines)
    {
        folder_.WriteFile("kubo.ini", RealisticKuboIni(res_, screenSaverLines));
    }
    void AddLayout(const std::string& relative) { folder_.WriteFile("Res\\" + relative, "layout"); }
    // A modeless copy of the dialog: the same template and procedure, so
    // the test can look at it between messages.
    HWND Open()
    {
        dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETUP), nullptr,
                                     SetupDialogProc, 0);
        return dialog_;
    }
    void Press(int id) { SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void Select(const std::string& text)
    {
        SendDlgItemMessageA(dialog_, IDC_LAYOUT_LIST, CB_SETCURSEL,
                            SendDlgItemMessageA(dialog_, IDC_LAYOUT_LIST, CB_FINDSTRINGEXACT, -1,
                                                reinterpret_cast<LPARAM>(text.c_str())),
                            0);
    }
    std::string Value(const char* key) { return IniValue(ini_, "ScreenSaver", key); }

    TempFolder folder_;
    InstallKey key_;
    std::string res_;
    std::string ini_;
    HWND dialog_ = nullptr;
};

TEST_F(SetupDialog, WithoutAScreenSaverSectionShowsTheDefaults)
{
    folder_.WriteFile("kubo.ini", "[DIRECTORIES]\r\nres=" + res_ + "\r\n[Locale]\r\nLanguage=ENGLISH\r\n");
    for (const char* name : {"ss800.sav", "ss8000x.sav", "alpine.sav"})
        AddLayout(std::string("ScrSaver\\") + name);
    AddLayout("SaveGame\\Town.SAV");
    ASSERT_NE(nullptr, Open());

    const SetupDialogView view = ReadSetupDialog(dialog_);
    ExpectEnglishTexts(view);
    EXPECT_EQ((std::vector<std::string>{"alpine", "ss800", "ss8000x", "Town"}), view.items);
    // From the second item on, "ss800" first meets the item named ss800 itself.
    EXPECT_EQ("ss800", view.selectedText);
    EXPECT_EQ(BST_CHECKED, view.randomChecked);
    EXPECT_EQ(BST_UNCHECKED, view.muteChecked);
    EXPECT_NE(nullptr, CurrentSettings());
}

TEST_F(SetupDialog, PreselectsByPrefixFromTheSecondItemWrappingToTheFirst)
{
    struct Case { const char* stored; std::vector<const char*> layouts; int selection; } cases[] = {
        // ss800 in both folders: the search starts at index 1, so the second wins.
        {"SaveGame\\ss800.sav", {"ScrSaver\\ss800.sav", "SaveGame\\ss800.sav"}, 1},
        {"ScrSaver\\ss800.sav", {"ScrSaver\\ss800.sav", "SaveGame\\ss800.sav"}, 1},
        // Only the first item matches: the search wraps round to it.
        {"ScrSaver\\apple.sav", {"ScrSaver\\apple.sav", "ScrSaver\\banana.sav"}, 0},
        // A prefix in any case.
        {"ScrSaver\\ss8.sav", {"ScrSaver\\a.sav", "ScrSaver\\SS800.sav", "ScrSaver\\zz.sav"}, 1},
        {"ScrSaver\\nothere.sav", {"ScrSaver\\ss800.sav"}, CB_ERR},
        // Too short to cut the extension from: nothing is selected.
        {"", {"ScrSaver\\ss800.sav"}, CB_ERR},
        {"ab", {"ScrSaver\\ab.sav"}, CB_ERR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("stored: ") + c.stored);
        DeleteTree(res_);
        for (const char* layout : c.layouts)
            AddLayout(layout);
        WriteIni(std::string("Layout=") + c.stored + "\r\n");
        ASSERT_NE(nullptr, Open());
        EXPECT_EQ(c.selection, ReadSetupDialog(dialog_).selection);
        Press(IDCANCEL);
        DestroyWindow(dialog_);
        dialog_ = nullptr;
    }
}

TEST_F(SetupDialog, OkStoresTheChoiceAndLeavesTheRestOfKuboIni)
{
    AddLayout("ScrSaver\\ss800.sav");
    AddLayout("SaveGame\\Town.SAV");
    WriteIni("Layout=ScrSaver\\ss800.sav\r\nRandom=1\r\nSound=0\r\n");
    const std::string before = folder_.ReadFile("kubo.ini");
    ASSERT_NE(nullptr, Open());
    Select("Town");
    SendDlgItemMessageA(dialog_, IDC_RANDOM, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageA(dialog_, IDC_MUTE, BM_SETCHECK, BST_CHECKED, 0);
    Press(IDOK);

    EXPECT_EQ("SaveGame\\Town.sav", Value("Layout"));
    EXPECT_EQ("0", Value("Random"));
    EXPECT_EQ("1", Value("Sound"));
    EXPECT_EQ(nullptr, CurrentSettings());
    // Only the three values changed: every other line, comments included, stays.
    // (Wine's profile writer drops blank lines; Windows keeps them.)
    std::string expected = before;
    for (auto [from, to] : {std::pair<std::string, std::string>{"Layout=ScrSaver\\ss800.sav", "Layout=SaveGame\\Town.sav"},
                            {"Random=1", "Random=0"}, {"Sound=0", "Sound=1"}})
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(WithoutBlankLines(expected), WithoutBlankLines(folder_.ReadFile("kubo.ini")));
}

TEST_F(SetupDialog, OkWithoutASelectionOrWithAnUnstorableNameKeepsTheLayout)
{
    const std::string names[] = {"", std::string(115, 'n'), std::string(200, 'n')};
    for (const std::string& name : names) {
        SCOPED_TRACE("name of " + std::to_string(name.size()) + " characters");
        DeleteTree(res_);
        if (!name.empty())
            AddLayout("ScrSaver\\" + name + ".sav");
        WriteIni("Layout=ScrSaver\\old.sav\r\n");
        ASSERT_NE(nullptr, Open());
        if (!name.empty())
            Select(name);
        Press(IDOK);
        EXPECT_EQ("ScrSaver\\old.sav", Value("Layout"));
        EXPECT_EQ("1", Value("Random"));
        EXPECT_EQ("0", Value("Sound"));
        DestroyWindow(dialog_);
        dialog_ = nullptr;
    }
}

TEST_F(SetupDialog, ALayoutNameWithALineBreakIsNotWrittenIntoKuboIni)
{
    // Made by the build outside Windows, beside this test program.
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, sizeof program);
    res_ = std::string(program).substr(0, std::string(program).rfind('\\')) + "\\fixtures\\layouts_made_elsewhere";
    WriteIni("Layout=ScrSaver\\old.sav\r\nRandom=1\r\nSound=0\r\n");
    const std::string before = folder_.ReadFile("kubo.ini");
    ASSERT_NE(nullptr, Open());
    ASSERT_EQ(std::vector<std::string>{"two\nlines"}, ReadSetupDialog(dialog_).items);
    Select("two\nlines");
    Press(IDOK);

    EXPECT_EQ("ScrSaver\\old.sav", Value("Layout"));
    EXPECT_EQ(WithoutBlankLines(before), WithoutBlankLines(folder_.ReadFile("kubo.ini")));
}

TEST_F(SetupDialog, CancelWritesNothing)
{
    AddLayout("ScrSaver\\ss800.sav");
    WriteIni("Layout=ScrSaver\\zzz.sav\r\n");
    const std::string before = folder_.ReadFile("kubo.ini");
    ASSERT_NE(nullptr, Open());
    Select("ss800");
    SendDlgItemMessageA(dialog_, IDC_MUTE, BM_SETCHECK, BST_CHECKED, 0);
    Press(IDCANCEL);
    EXPECT_EQ(before, folder_.ReadFile("kubo.ini"));
    EXPECT_EQ(nullptr, CurrentSettings());
}

// What the list holds: each item's text and folder tag, in order.
std::vector<std::string> ListedItems(HWND list)
{
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[1284] = "";
        if (SendMessageA(list, CB_GETLBTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof text))
            SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(std::string(text) + " /" + std::to_string(SendMessageA(list, CB_GETITEMDATA, i, 0)));
    }
    return items;
}

// The list as a plain sorted combo box of the same style gets it from the
// catalogue: ScrSaver's nodes from the head on, then SaveGame's, each added
// and tagged in turn. Equal names end up in an order that depends on that
// sequence, which the dialog must reproduce however it fills its list.
std::vector<std::string> CatalogueSequenceItems()
{
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_POPUP | WS_VSCROLL | CBS_DROPDOWN | CBS_SORT | CBS_AUTOHSCROLL,
                                 0, 0, 100, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    for (LayoutFolder folder : {LayoutFolder::ScrSaver, LayoutFolder::SaveGame}) {
        for (LayoutEntry* entry = FindLayouts(folder); entry;) {
            entry->name[strlen(entry->name) - 4] = '\0';
            const LRESULT index = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry->name));
            SendMessageA(combo, CB_SETITEMDATA, index, static_cast<LPARAM>(folder));
            LayoutEntry* next = entry->next;
            delete entry;
            entry = next;
        }
    }
    std::vector<std::string> items = ListedItems(combo);
    DestroyWindow(combo);
    return items;
}

TEST_F(SetupDialog, ListsWhatTheCatalogueSequenceGivesAlsoForEqualNames)
{
    std::vector<std::string> many;
    for (int i = 0; i < 150; ++i)
        many.push_back("SaveGame\\game" + std::to_string(i) + ".sav");
    std::vector<std::string> manyWithEqual = many;
    manyWithEqual.push_back("ScrSaver\\GAME77.sav");
    struct Case { const char* name; std::vector<std::string> layouts; size_t expectedCount; } cases[] = {
        // No equal names: the system's order differs from the list's (symbols,
        // digits, case), and the folders interleave.
        {"distinct", {"ScrSaver\\Alpine Loop.sav", "ScrSaver\\alpine-x.sav", "ScrSaver\\b10.sav",
                      "ScrSaver\\B9.sav", "SaveGame\\a.sav", "SaveGame\\Zed.sav", "SaveGame\\m.sav"}, 7},
        {"same name in both folders", {"ScrSaver\\ss800.sav", "SaveGame\\ss800.sav", "SaveGame\\a.sav"}, 3},
        {"case variants in both folders", {"ScrSaver\\Town.sav", "ScrSaver\\zoo.sav", "SaveGame\\town.sav"}, 3},
        // A soft hyphen weighs nothing when names are compared, so one folder
        // can hold two names that the list sees as equal.
        {"equal names in one folder", {"ScrSaver\\coop.sav", "ScrSaver\\co\xADop.sav", "ScrSaver\\zz.sav"}, 3},
        // Listed c, \xADb, \xADc: the last lands right after the one before it,
        // in front of its equal.
        {"equal names in a run", {"SaveGame\\c.sav", "SaveGame\\\xAD" "b.sav", "SaveGame\\\xAD" "c.sav"}, 3},
        // \xDF is "ss" (sharp s) in the Western code page, a Cyrillic letter in
        // code page 1251. The list converts with the system's code page; the
        // unit_locale entry makes only the user's Cyrillic, and the names
        // must still count as equal.
        {"equal in the system's code page", {"ScrSaver\\gro\xDF.sav", "ScrSaver\\gross.sav", "ScrSaver\\zz.sav"}, 3},
        // The equal name lands in the middle of the list, next to its twin.
        {"case variants across folders", {"ScrSaver\\b.sav", "ScrSaver\\c.sav", "SaveGame\\a.sav",
                                          "SaveGame\\B.sav"}, 4},
        {"many, none equal", many, 150},
        {"many, one equal pair late", manyWithEqual, 151},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteTree(res_);
        folder_.MakeFolder("Res\\ScrSaver");
        folder_.MakeFolder("Res\\SaveGame");
        for (const std::string& layout : c.layouts)
            AddLayout(layout);
        WriteIni("Layout=ScrSaver\\town.sav\r\n");
        ASSERT_NE(nullptr, Open());
        const std::vector<std::string> listed = ListedItems(GetDlgItem(dialog_, IDC_LAYOUT_LIST));
        const std::vector<std::string> expected = CatalogueSequenceItems();
        EXPECT_EQ(c.expectedCount, listed.size());
        EXPECT_EQ(expected, listed);
        Press(IDCANCEL);
        DestroyWindow(dialog_);
        dialog_ = nullptr;
    }
}

// What the comparison's platform calls answer during a fill, and what the
// fill asked of them.
struct ComparisonAnswers {
    int wideOrder;    // CompareStringW's answer
    DWORD wideError;  // the last error it leaves
    int ansiOrder;    // CompareStringA's answer
};
ComparisonAnswers g_answers;
DWORD g_wideFlags;
DWORD g_ansiFlags;
int g_ansiCalls;
int g_searches;
ImportHook* g_searchHook;

int WINAPI AnswerWideComparison(LCID, DWORD flags, LPCWCH, int, LPCWCH, int)
{
    g_wideFlags = flags;
    SetLastError(g_answers.wideError);
    return g_answers.wideOrder;
}

int WINAPI AnswerAnsiComparison(LCID, DWORD flags, LPCSTR, int, LPCSTR, int)
{
    ++g_ansiCalls;
    g_ansiFlags = flags;
    return g_answers.ansiOrder;
}

HANDLE WINAPI CountSearch(LPCSTR pattern, WIN32_FIND_DATAA* found)
{
    ++g_searches;
    return g_searchHook->Original<HANDLE(WINAPI*)(LPCSTR, WIN32_FIND_DATAA*)>()(pattern, found);
}

// The quick fill keeps its list only where the system told every pair of
// neighbours apart; otherwise it searches both folders again and refills.
// Windows 95/98 answer the wide comparison with "not implemented": there the
// ANSI one decides, or the quick fill would be lost on those systems.
TEST_F(SetupDialog, TheQuickFillStandsOnlyWhenTheSystemTellsTheNamesApart)
{
    struct Case { const char* name; ComparisonAnswers answers; bool ansiAsked; int searches; } cases[] = {
        {"different", {CSTR_LESS_THAN, 0, 0}, false, 2},
        {"equal", {CSTR_EQUAL, 0, 0}, false, 3},
        {"wide call missing, the ANSI call tells them apart", {0, ERROR_CALL_NOT_IMPLEMENTED, CSTR_LESS_THAN}, true, 2},
        {"wide call missing, the ANSI call fails", {0, ERROR_CALL_NOT_IMPLEMENTED, 0}, true, 3},
        {"wide call fails otherwise", {0, ERROR_INVALID_PARAMETER, 0}, false, 3},
    };
    for (const char* layout : {"ScrSaver\\b.sav", "ScrSaver\\a.sav", "SaveGame\\c.sav"})
        AddLayout(layout);
    WriteIni("");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImportHook wide("kernel32.dll", "CompareStringW", reinterpret_cast<const void*>(&AnswerWideComparison));
        ImportHook ansi("kernel32.dll", "CompareStringA", reinterpret_cast<const void*>(&AnswerAnsiComparison));
        ImportHook search("kernel32.dll", "FindFirstFileA", reinterpret_cast<const void*>(&CountSearch));
        ASSERT_TRUE(wide.Installed() && ansi.Installed() && search.Installed());
        g_searchHook = &search;
        g_answers = c.answers;
        g_wideFlags = 0;
        g_ansiFlags = 0;
        g_ansiCalls = 0;
        g_searches = 0;
        ASSERT_NE(nullptr, Open());
        EXPECT_EQ((std::vector<std::string>{"a /0", "b /0", "c /1"}),
                  ListedItems(GetDlgItem(dialog_, IDC_LAYOUT_LIST)));
        // 2: each folder searched once. 3: the first pair, a and b, stopped
        // the quick fill before it reached SaveGame; both were searched again.
        EXPECT_EQ(c.searches, g_searches);
        EXPECT_EQ(c.ansiAsked, g_ansiCalls > 0);
        if (c.ansiAsked) {
            EXPECT_EQ(g_wideFlags, g_ansiFlags);
        }
        DestroyWindow(dialog_);
        dialog_ = nullptr;
    }
}

TEST_F(SetupDialog, TheLayoutListDrawsAgainAfterSetUp)
{
    AddLayout("ScrSaver\\ss800.sav");
    AddLayout("SaveGame\\Town.sav");
    WriteIni("");
    ASSERT_NE(nullptr, Open());
    COMBOBOXINFO combo = {};
    combo.cbSize = sizeof combo;
    ASSERT_TRUE(GetComboBoxInfo(GetDlgItem(dialog_, IDC_LAYOUT_LIST), &combo));
    // The edit field shows the preselection only while it may draw.
    EXPECT_TRUE(GetWindowLongA(combo.hwndItem, GWL_STYLE) & WS_VISIBLE);

    // The drop-down list paints its items into a bitmap of ours.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 60;
    info.bmiHeader.biHeight = -20;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    DWORD* pixels = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels), nullptr, 0);
    ASSERT_NE(nullptr, bitmap);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const DWORD kUntouched = 0x00010203;
    std::fill(pixels, pixels + 60 * 20, kUntouched);
    SendMessageA(combo.hwndList, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    EXPECT_NE(pixels + 60 * 20, std::find_if(pixels, pixels + 60 * 20, [&](DWORD p) { return p != kUntouched; }));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_F(SetupDialog, HostileKuboIniValuesSelectNothingAndBreakNothing)
{
    AddLayout("ScrSaver\\ss800.sav");
    const std::string inis[] = {
        RealisticKuboIni(res_, "Layout=" + std::string(5000, 'x') + "\r\n"),
        RealisticKuboIni(res_, "Layout=\r\nRandom=\r\nSound=yes\r\n"),
        std::string("\xFF\xFE\x00\x01garbage\x00[ScreenSaver\r\nLayout\x80=\x01\x02\r\n", 40),
    };
    for (const std::string& ini : inis) {
        folder_.WriteFile("kubo.ini", ini);
        ASSERT_NE(nullptr, Open());
        EXPECT_EQ(CB_ERR, ReadSetupDialog(dialog_).selection);
        Press(IDCANCEL);
        DestroyWindow(dialog_);
        dialog_ = nullptr;
    }
}

TEST_F(SetupDialog, NameInBothFoldersKeepsEachTagAndAnUntouchedOkStoresTheSecondItem)
{
    AddLayout("ScrSaver\\ss800.sav");
    AddLayout("SaveGame\\ss800.sav");
    for (const char* stored : {"ScrSaver\\ss800.sav", "SaveGame\\ss800.sav"}) {
        SCOPED_TRACE(stored);
        WriteIni(std::string("Layout=") + stored + "\r\n");
        ASSERT_NE(nullptr, Open());
        // The sorted list puts the later of two equal names first, so the
        // "SaveGame" item (added second) is item 0 and "ScrSaver" item 1.
        HWND list = GetDlgItem(dialog_, IDC_LAYOUT_LIST);
        ASSERT_EQ(2, SendMessageA(list, CB_GETCOUNT, 0, 0));
        EXPECT_EQ(static_cast<LRESULT>(LayoutFolder::SaveGame), SendMessageA(list, CB_GETITEMDATA, 0, 0));
        EXPECT_EQ(static_cast<LRESULT>(LayoutFolder::ScrSaver), SendMessageA(list, CB_GETITEMDATA, 1, 0));
        // The search starts at item 1 whatever folder was stored, so OK
        // stores that item's folder.
        EXPECT_EQ(1, SendMessageA(list, CB_GETCURSEL, 0, 0));
        Press(IDOK);
        EXPECT_EQ("ScrSaver\\ss800.sav", Value("Layout"));
        DestroyWindow(dialog_);
        dialog_ = nullptr;
    }
}

TEST_F(SetupDialog, LeavesTheFocusAloneAndAnswersOnlyItsTwoButtons)
{
    WriteIni("");
    SetFocus(nullptr);
    ASSERT_NE(nullptr, Open());
    // Set-up answers 0: the dialog manager gives no control the focus.
    EXPECT_EQ(nullptr, GetFocus());

    // Only the control's id counts, not the notification code.
    EXPECT_EQ(FALSE, SetupDialogProc(dialog_, WM_COMMAND, MAKEWPARAM(IDC_RANDOM, BN_CLICKED), 0));
    EXPECT_EQ(FALSE, SetupDialogProc(dialog_, WM_COMMAND, MAKEWPARAM(IDC_LAYOUT_LIST, CBN_SELCHANGE), 0));
    EXPECT_NE(nullptr, CurrentSettings()) << "other commands end nothing";
    EXPECT_EQ(TRUE, SetupDialogProc(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, 7), 0));
    EXPECT_EQ(nullptr, CurrentSettings());
    DestroyWindow(dialog_);
    ASSERT_NE(nullptr, Open());
    EXPECT_EQ(TRUE, SetupDialogProc(dialog_, WM_COMMAND, MAKEWPARAM(IDOK, 7), 0));
    EXPECT_EQ(nullptr, CurrentSettings());
}

TEST_F(SetupDialog, FollowsAChangeOfDpiAndComesBackToItsSetUp)
{
    AddLayout("ScrSaver\\ss800.sav");
    WriteIni("");
    ASSERT_NE(nullptr, Open());  // at 96 DPI, as the tests run
    EXPECT_EQ(151, TitlePictureSize(dialog_).cx);
    EXPECT_EQ(111, TitlePictureSize(dialog_).cy);
    auto placeOf = [this](int id) {
        RECT rect = {};
        GetWindowRect(GetDlgItem(dialog_, id), &rect);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    auto fontHeightOf = [this](int id) {
        LOGFONTA font = {};
        GetObjectA(reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog_, id, WM_GETFONT, 0, 0)), sizeof font, &font);
        return font.lfHeight;
    };
    const RECT okAtSetUp = placeOf(IDOK);
    const LONG fontAtSetUp = fontHeightOf(IDC_RANDOM);
    RECT atSetUp;
    GetWindowRect(dialog_, &atSetUp);

    // Moved to a display at twice the scale: the system suggests twice the size.
    RECT suggested = {atSetUp.left + 10, atSetUp.top + 20, atSetUp.left + 10 + 2 * (atSetUp.right - atSetUp.left),
                      atSetUp.top + 20 + 2 * (atSetUp.bottom - atSetUp.top)};
    SendMessageA(dialog_, kDpiChangedMessage, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    RECT moved;
    GetWindowRect(dialog_, &moved);
    EXPECT_TRUE(EqualRect(&suggested, &moved));
    EXPECT_EQ(302, TitlePictureSize(dialog_).cx);
    EXPECT_EQ(222, TitlePictureSize(dialog_).cy);
    const RECT ok = placeOf(IDOK);
    EXPECT_EQ(2 * okAtSetUp.left, ok.left);
    EXPECT_EQ(2 * okAtSetUp.top, ok.top);
    EXPECT_EQ(2 * okAtSetUp.right, ok.right);
    EXPECT_EQ(2 * okAtSetUp.bottom, ok.bottom);
    EXPECT_EQ(2 * fontAtSetUp, fontHeightOf(IDC_RANDOM));
    ExpectControlsWholeAndApart(dialog_);
    EXPECT_EQ(1, SendDlgItemMessageA(dialog_, IDC_LAYOUT_LIST, CB_GETCOUNT, 0, 0));

    // And back: everything where set-up put it, in the dialog's own font.
    SendMessageA(dialog_, kDpiChangedMessage, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&atSetUp));
    const RECT okAgain = placeOf(IDOK);
    EXPECT_TRUE(EqualRect(&okAtSetUp, &okAgain));
    EXPECT_EQ(fontAtSetUp, fontHeightOf(IDC_RANDOM));
    EXPECT_EQ(151, TitlePictureSize(dialog_).cx);
    ExpectControlsWholeAndApart(dialog_);
}

// The button faces the dialog loads, as LoadBitmapA handed them out.
std::vector<HBITMAP> g_loadedBitmaps;
ImportHook* g_loadBitmapHook;
HBITMAP WINAPI RecordLoadBitmap(HINSTANCE module, LPCSTR name)
{
    HBITMAP bitmap = g_loadBitmapHook->Original<HBITMAP(WINAPI*)(HINSTANCE, LPCSTR)>()(module, name);
    g_loadedBitmaps.push_back(bitmap);
    return bitmap;
}

TEST_F(SetupDialog, OkAndCancelBothDeleteTheBrushAndTheButtonFaces)
{
    WriteIni("");
    for (int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button == IDOK ? "OK" : "Cancel");
        ImportHook hook("user32.dll", "LoadBitmapA", reinterpret_cast<const void*>(&RecordLoadBitmap));
        ASSERT_TRUE(hook.Installed());
        g_loadBitmapHook = &hook;
        g_loadedBitmaps.clear();
        ASSERT_NE(nullptr, Open());
        HGDIOBJ brush = reinterpret_cast<HGDIOBJ>(SetupDialogProc(dialog_, WM_CTLCOLORDLG, 0, 0));
        ASSERT_EQ(3u, g_loadedBitmaps.size());
        BITMAP face;
        LOGBRUSH colour;
        for (HBITMAP bitmap : g_loadedBitmaps)
            ASSERT_NE(0, GetObjectA(bitmap, sizeof face, &face));
        ASSERT_NE(0, GetObjectA(brush, sizeof colour, &colour));

        Press(button);
        for (HBITMAP bitmap : g_loadedBitmaps)
            EXPECT_EQ(0, GetObjectA(bitmap, sizeof face, &face)) << "a face was kept";
        EXPECT_EQ(0, GetObjectA(brush, sizeof colour, &colour)) << "the brush was kept";
        EXPECT_EQ(0, SetupDialogProc(dialog_, WM_CTLCOLORDLG, 0, 0)) << "the brush's handle was kept";
        g_loadBitmapHook = nullptr;
        DestroyWindow(dialog_);
        dialog_ = nullptr;
    }
}

TEST_F(SetupDialog, ThePaintersAnswerTheBeigeBrush)
{
    WriteIni("");
    ASSERT_NE(nullptr, Open());
    HDC dc = GetDC(dialog_);
    for (UINT message : {WM_CTLCOLORDLG, WM_CTLCOLORSTATIC, WM_CTLCOLORBTN}) {
        SetTextColor(dc, RGB(1, 2, 3));
        SetBkMode(dc, OPAQUE);
        HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(dialog_, message, reinterpret_cast<WPARAM>(dc),
                                                             reinterpret_cast<LPARAM>(dialog_)));
        LOGBRUSH info = {};
        ASSERT_TRUE(GetObjectA(brush, sizeof info, &info)) << "message " << message;
        EXPECT_EQ(kSetupBackgroundColour, info.lbColor);
        EXPECT_EQ(RGB(0, 0, 0), GetTextColor(dc));
        EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
    }
    // The combo box keeps the system's colours.
    for (UINT message : {WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX, WM_CTLCOLORSCROLLBAR})
        EXPECT_EQ(FALSE, SetupDialogProc(dialog_, message, reinterpret_cast<WPARAM>(dc), 0)) << message;
    ReleaseDC(dialog_, dc);
}

// ---- Button faces drawn into a bitmap of our own ----

class ButtonPixels : public SetupDialog {
protected:
    static constexpr int kWidth = 150;
    static constexpr int kHeight = 75;
    void Draw(UINT state, int width = kWidth, int height = kHeight)
    {
        DibCanvas canvas(kWidth, kHeight);
        HDC dc = canvas.Dc();
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        PatBlt(dc, 0, 0, kWidth, kHeight, WHITENESS);
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_BUTTON;
        item.CtlID = IDOK;
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = state;
        item.hwndItem = GetDlgItem(dialog_, IDOK);
        item.hDC = dc;
        item.rcItem = {0, 0, width, height};
        // Straight to the procedure: the dialog manager keeps its answer to itself.
        answer_ = SetupDialogProc(dialog_, WM_DRAWITEM, IDOK, reinterpret_cast<LPARAM>(&item));
        GdiFlush();
        pixels_.assign(canvas.Bits(), canvas.Bits() + kWidth * kHeight);
    }
    COLORREF At(int x, int y) const
    {
        const DWORD p = pixels_[y * kWidth + x];
        return RGB(GetBValue(p), GetGValue(p), GetRValue(p));  // DIB pixels are BGR
    }
    // The first row, inside the bevel, that holds a pixel of the colour.
    int FirstRowWith(COLORREF colour) const
    {
        for (int y = 3; y < kHeight - 3; ++y)
            for (int x = 3; x < kWidth - 3; ++x)
                if (At(x, y) == colour)
                    return y;
        return -1;
    }
    void SetUp() override
    {
        SetupDialog::SetUp();
        WriteIni("");
        ASSERT_NE(nullptr, Open());
        SetDlgItemTextA(dialog_, IDOK, "WWWWWW");
    }
    LRESULT answer_ = 0;
    std::vector<DWORD> pixels_;
};

TEST_F(ButtonPixels, NormalFaceWithBlackText)
{
    Draw(ODS_FOCUS);
    EXPECT_EQ(TRUE, answer_);
    EXPECT_EQ(RGB(0, 0, 0), At(0, 0));
    EXPECT_EQ(RGB(250, 133, 133), At(1, 1));        // light bevel top left
    EXPECT_EQ(RGB(128, 0, 0), At(148, 73));         // dark bevel bottom right
    EXPECT_EQ(RGB(220, 0, 0), At(6, kHeight / 2));  // the face
    EXPECT_GT(FirstRowWith(RGB(0, 0, 0)), 0);       // the text
}

TEST_F(ButtonPixels, PressedFaceMovesTheTextOnePixelDown)
{
    Draw(0);
    const int normalTop = FirstRowWith(RGB(0, 0, 0));
    Draw(ODS_SELECTED);
    EXPECT_EQ(RGB(128, 0, 0), At(1, 1));  // bevel reversed
    EXPECT_EQ(RGB(250, 133, 133), At(148, 73));
    EXPECT_EQ(RGB(220, 0, 0), At(6, kHeight / 2));
    ASSERT_GT(normalTop, 0);
    EXPECT_EQ(normalTop + 1, FirstRowWith(RGB(0, 0, 0)));
}

TEST_F(ButtonPixels, DisabledFaceWithGreyText)
{
    Draw(ODS_DISABLED | ODS_SELECTED);
    EXPECT_EQ(RGB(182, 52, 52), At(6, kHeight / 2));
    EXPECT_GT(FirstRowWith(RGB(92, 92, 92)), 0);
    EXPECT_EQ(-1, FirstRowWith(RGB(0, 0, 0)));
}

TEST_F(ButtonPixels, TheFaceIsStretchedToTheButton)
{
    Draw(0, 60, 20);
    EXPECT_EQ(RGB(220, 0, 0), At(8, 10));
    EXPECT_EQ(RGB(255, 255, 255), At(70, 10));  // nothing drawn outside the item
}

TEST_F(ButtonPixels, OtherOwnerDrawnKindsAreNotDrawn)
{
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_LISTBOX;
    EXPECT_EQ(FALSE, SetupDialogProc(dialog_, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item)));
}

}  // namespace
