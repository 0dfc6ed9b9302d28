// The resources that res/saver.rc puts into the executable, read back from the
// test's own module the way the saver reads them from its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

const WORD kEnglishUk = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);

std::wstring Widen(const char* utf8)
{
    WCHAR wide[256];
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide, 256);
    return length > 0 ? std::wstring(wide, length - 1) : L"<bad UTF-8>";
}

std::wstring LoadWide(UINT id)
{
    WCHAR text[256];
    int length = LoadStringW(GetModuleHandleA(NULL), id, text, 256);
    return std::wstring(text, std::max(length, 0));
}

// One language's eight texts in base-id order: caption, random, layout label,
// OK, cancel, password prompt, no passwords, mute.
struct LanguageBlock {
    const char* language;
    UINT firstId;
    const char* texts[8];
};

const LanguageBlock kBlocks[] = {
    {"English", 114, {"KUBO TRAX Screen Saver Setup", "Use A Random Selection", "Select Layout:", "OK", "CANCEL",
                      "Please enter your password", "Passwords are not supported.", "Mute Sounds"}},
    {"German", 214, {"KUBO TRAX-BILDSCHIRM-SETUP", "Auswahl nach Zufallsprinzip", "Layout wählen:", "OK", "ABBRECHEN",
                     "Bitte Paßwort eingeben", "Paßwörter nicht unterstützt.", "Kein Sound"}},
    {"French", 250, {"Installation de l\"économiseur d\"écran KUBO TRAX", "Utiliser une sélection aléatoire",
                     "Sélectionner la disposition :", "OK", "ANNULER", "Tape ton mot de passe",
                     "Les mots de passe ne sont pas supportés.", "Pas de son"}},
    {"Italian", 260, {"Impostazione salvaschermo KUBO TRAX.", "Utilizza una selezione a caso.", "Seleziona cartina:",
                      "OK", "ANNULLA", "Invia il codice d'accesso.", "I codici d'accesso non sono supportati.",
                      "Disattiva audio"}},
    {"Spanish", 270, {"Instalación del protector de pantallas de KUBO TRAX", "Haz una selección al azar",
                      "Selecciona plano:", "ACEPTAR", "CANCELAR", "Introduce tu contraseña",
                      "No se admiten contraseñas.", "Silenciar sonidos"}},
    {"Dutch", 280, {"KUBO TRAX schermbeveiliging instelling", "Willekeurige keuze", "Kies lay-out:", "OK",
                    "ANNULEREN", "Voer je wachtwoord in", "Wachtwoorden worden niet ondersteund.", "Geluid dempen"}},
    {"Danish", 290, {"Opsætning for KUBO TRAX-pauseskærm", "Anvend et tilfældig valg", "Velg oppsett:", "OK",
                     "ANNULLÈR", "Indtast venligst din brugerkode", "Brugerkoder er ikke understøttet",
                     "Ingen lyd"}},
    {"Norwegian", 300, {"Installasjon av KUBO TRAX-skjermsparer", "Bruk et tilfeldig utvalg.", "Velg oppsett:", "OK",
                        "AVBRYT", "Skriv inn passordet ditt", "Passord støttes ikke.", "Lyddemping"}},
    {"Swedish", 310, {"Installera KUBO TRAX skärmsläckare", "Använd ett slumpmässigt urval", "Välj layout", "OK",
                      "AVBRYT", "Var god uppge ditt lösenord", "Lösenord stöds ej.", "Inget ljud"}},
};

TEST(StringTable, TitleIsTheProductName)
{
    EXPECT_EQ(L"KUBO TRAX", LoadWide(IDS_TITLE));
}

TEST(StringTable, EveryLanguageHoldsItsEightTexts)
{
    for (const LanguageBlock& block : kBlocks) {
        for (UINT i = 0; i < 8; ++i) {
            SCOPED_TRACE(std::string(block.language) + " id " + std::to_string(block.firstId + i));
            EXPECT_EQ(Widen(block.texts[i]), LoadWide(block.firstId + i));
        }
    }
}

// The script escapes these quotes as "", which is easy to get wrong.
TEST(StringTable, FrenchCaptionHasTwoRealDoubleQuotes)
{
    const std::wstring caption = LoadWide(250);
    EXPECT_EQ(2, std::count(caption.begin(), caption.end(), L'"')) << caption;
    EXPECT_EQ(0, std::count(caption.begin(), caption.end(), L'\'')) << caption;
}

// The saver reads its texts with LoadStringA into 128-byte buffers.
TEST(StringTable, AnsiReadsGiveCodePage1252Bytes)
{
    ASSERT_EQ(1252u, GetACP()) << "run the tests with LANG=en_US.UTF-8";
    struct Case {
        UINT id;
        const char* bytes;
    } cases[] = {
        {216, "Layout w\xE4hlen:"},
        {219, "Bitte Pa\xDFwort eingeben"},
        {250, "Installation de l\"\xE9" "conomiseur d\"\xE9" "cran KUBO TRAX"},
        {275, "Introduce tu contrase\xF1" "a"},
        {294, "ANNULL\xC8R"},
        {316, "L\xF6senord st\xF6" "ds ej."},
    };
    for (const Case& c : cases) {
        char text[128];
        int length = LoadStringA(GetModuleHandleA(NULL), c.id, text, sizeof text);
        EXPECT_EQ(std::string(c.bytes), std::string(text, std::max(length, 0))) << "id " << c.id;
    }
}

TEST(Bitmaps, LoadAtTheirSizes)
{
    struct Case {
        UINT id;
        LONG width, height;
    } cases[] = {
        {IDB_BUTTON_NORMAL, 150, 75}, {IDB_BUTTON_PRESSED, 150, 75},
        {IDB_BUTTON_DISABLED, 150, 75}, {IDB_TITLE, 151, 111},
    };
    for (const Case& c : cases) {
        HBITMAP bitmap = LoadBitmapA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(c.id));
        BITMAP info = {};
        EXPECT_EQ(static_cast<int>(sizeof info), GetObjectA(bitmap, sizeof info, &info)) << "bitmap " << c.id;
        EXPECT_EQ(c.width, info.bmWidth) << "bitmap " << c.id;
        EXPECT_EQ(c.height, info.bmHeight) << "bitmap " << c.id;
        DeleteObject(bitmap);
    }
}

// A bitmap resource as stored: the header, then the palette, then the rows.
const BITMAPINFOHEADER* FindRawBitmap(UINT id)
{
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_BITMAP));
    HGLOBAL loaded = found ? LoadResource(NULL, found) : NULL;
    return loaded ? static_cast<const BITMAPINFOHEADER*>(LockResource(loaded)) : nullptr;
}

int PaletteSize(const BITMAPINFOHEADER* header)
{
    if (header->biBitCount > 8)
        return 0;
    return header->biClrUsed ? static_cast<int>(header->biClrUsed) : 1 << header->biBitCount;
}

// The pixel's bytes, with y counted from the top in either row order.
const BYTE* PixelAt(const BITMAPINFOHEADER* header, int x, int y)
{
    const BYTE* rows = reinterpret_cast<const BYTE*>(header + 1) + PaletteSize(header) * sizeof(RGBQUAD);
    int stride = (header->biWidth * header->biBitCount + 31) / 32 * 4;
    int row = header->biHeight < 0 ? y : header->biHeight - 1 - y;
    return rows + row * stride + x * header->biBitCount / 8;
}

// The colour of a pixel of a 4-bit bitmap, through its palette.
COLORREF ColourAt4(const BITMAPINFOHEADER* header, int x, int y)
{
    const BYTE pair = *PixelAt(header, x, y);
    const int index = x % 2 ? pair & 0x0F : pair >> 4;
    if (index >= PaletteSize(header))
        return CLR_INVALID;
    const RGBQUAD colour = reinterpret_cast<const RGBQUAD*>(header + 1)[index];
    return RGB(colour.rgbRed, colour.rgbGreen, colour.rgbBlue);
}

TEST(ButtonFaces, DrawOutlineBevelAndFace)
{
    const COLORREF light = RGB(250, 133, 133), dark = RGB(128, 0, 0);
    struct Button {
        UINT id;
        COLORREF topLeft, bottomRight, face;
    } buttons[] = {
        {IDB_BUTTON_NORMAL, light, dark, RGB(220, 0, 0)},
        {IDB_BUTTON_PRESSED, dark, light, RGB(220, 0, 0)},
        {IDB_BUTTON_DISABLED, light, dark, RGB(182, 52, 52)},
    };
    enum Part { Outline, TopLeft, BottomRight, Face };
    struct Point {
        int x, y;
        Part part;
    } points[] = {
        {0, 0, Outline}, {149, 74, Outline}, {75, 0, Outline}, {0, 37, Outline},
        {75, 1, TopLeft}, {75, 2, TopLeft}, {1, 37, TopLeft}, {2, 37, TopLeft}, {1, 1, TopLeft},
        {75, 73, BottomRight}, {75, 72, BottomRight}, {148, 37, BottomRight}, {147, 37, BottomRight},
        {148, 73, BottomRight}, {3, 3, Face}, {75, 37, Face}, {146, 71, Face},
        // Mitred corners: the diagonal belongs to the bottom and right edges.
        {147, 1, TopLeft}, {148, 1, BottomRight}, {1, 72, TopLeft}, {1, 73, BottomRight},
    };
    for (const Button& b : buttons) {
        SCOPED_TRACE("bitmap " + std::to_string(b.id));
        const BITMAPINFOHEADER* header = FindRawBitmap(b.id);
        ASSERT_TRUE(header != nullptr);
        ASSERT_EQ(4, header->biBitCount);  // their four colours, a sixth of 24 bits' size
        ASSERT_EQ(static_cast<DWORD>(BI_RGB), header->biCompression);
        ASSERT_EQ(150, header->biWidth);
        ASSERT_EQ(75, std::abs(header->biHeight));
        for (const Point& p : points) {
            const COLORREF expected[] = {RGB(0, 0, 0), b.topLeft, b.bottomRight, b.face};
            EXPECT_EQ(expected[p.part], ColourAt4(header, p.x, p.y)) << "pixel " << p.x << "," << p.y;
        }
    }
}

TEST(TitlePicture, UsesEightBitsAndAPalette)
{
    const BITMAPINFOHEADER* header = FindRawBitmap(IDB_TITLE);
    ASSERT_TRUE(header != nullptr);
    ASSERT_EQ(8, header->biBitCount);
    ASSERT_EQ(static_cast<DWORD>(BI_RGB), header->biCompression);
    ASSERT_LE(header->biClrUsed, 256u);
    std::set<BYTE> used;
    for (int y = 0; y < std::abs(header->biHeight); ++y)
        for (int x = 0; x < header->biWidth; ++x)
            used.insert(*PixelAt(header, x, y));
    EXPECT_LT(*used.rbegin(), PaletteSize(header)) << "a pixel outside the palette";
    EXPECT_GE(used.size(), 8u) << "the picture should be more than a flat fill";
}

TEST(SaverIcon, LoadsAtTheStandardSize)
{
    HICON icon = LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_SAVER));
    ASSERT_TRUE(icon != NULL);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP mask = {};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), mask.bmWidth);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR languages)
{
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

// Without its LANGUAGE line the script files everything as US English, and
// the loaders still find it; only the resource languages show the slip.
TEST(ResourceLanguage, EverythingIsEnglishUkOnly)
{
    struct Resource {
        LPCSTR type;
        UINT id;
    };
    std::vector<Resource> resources = {
        {RT_GROUP_ICON, IDI_SAVER}, {RT_BITMAP, IDB_BUTTON_NORMAL},   {RT_BITMAP, IDB_BUTTON_PRESSED},
        {RT_BITMAP, IDB_TITLE},     {RT_BITMAP, IDB_BUTTON_DISABLED}, {RT_VERSION, VS_VERSION_INFO},
    };
    std::set<UINT> stringBundles = {IDS_TITLE / 16 + 1};  // one string resource holds 16 ids
    for (const LanguageBlock& block : kBlocks)
        for (UINT i = 0; i < 8; ++i)
            stringBundles.insert((block.firstId + i) / 16 + 1);
    for (UINT bundle : stringBundles)
        resources.push_back({RT_STRING, bundle});
    for (const Resource& r : resources) {
        std::vector<WORD> languages;
        EnumResourceLanguagesA(NULL, r.type, MAKEINTRESOURCEA(r.id), CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(std::vector<WORD>{kEnglishUk}, languages)
            << "type " << reinterpret_cast<UINT_PTR>(r.type) << " id " << r.id;
    }
}

TEST(VersionBlock, Is1201FinalInEnglishUk)
{
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(NULL, path, sizeof path), 0u);
    DWORD unused = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeA(path, &unused));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, block.size(), block.data()));

    void* value = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &size));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), size);
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(2, 1)), fixed->dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(1, 0)), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_TRUE(fixed->dwFileFlags & VS_FF_SPECIALBUILD);

    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &size));
    ASSERT_EQ(2 * sizeof(WORD), size);
    EXPECT_EQ(kEnglishUk, static_cast<const WORD*>(value)[0]);
    EXPECT_EQ(1252, static_cast<const WORD*>(value)[1]);

    struct Case {
        const char* key;
        const char* text;
    } cases[] = {{"FileVersion", "1, 2, 0, 1"}, {"ProductVersion", "1, 2, 0, 1"}, {"SpecialBuild", "Final"}};
    for (const Case& c : cases) {
        const std::string query = std::string("\\StringFileInfo\\080904E4\\") + c.key;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), &value, &size)) << c.key;
        EXPECT_STREQ(c.text, static_cast<const char*>(value)) << c.key;
    }
}

}  // namespace
