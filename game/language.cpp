#include "game/language.h"

#include "common/text.h"
#include "game/settings_file.h"

namespace {
// The interface language. Only SelectLanguage writes it.
LanguageId g_language = LanguageId::English;

struct NamedLanguage {
    const char* name;  // as the game writes it in kubo.ini, upper case
    LanguageId language;
};

// Compared in this order; the first equal name wins.
const NamedLanguage kNamedLanguages[] = {
    {"DANISH", LanguageId::Danish},       {"DUTCH", LanguageId::Dutch},
    {"ENGLISH", LanguageId::English},     {"FRENCH", LanguageId::French},
    {"GERMAN", LanguageId::German},       {"ITALIAN", LanguageId::Italian},
    {"NORWEGIAN", LanguageId::Norwegian}, {"SPANISH", LanguageId::Spanish},
    {"SWEDISH", LanguageId::Swedish},
};

// Where each language's block of eight strings starts, relative to English.
// The blocks sit in the string table in their own order, not by value.
int StringOffset(LanguageId language)
{
    switch (language) {
    case LanguageId::Danish: return 176;
    case LanguageId::Dutch: return 166;
    case LanguageId::French: return 136;
    case LanguageId::German: return 100;
    case LanguageId::Italian: return 146;
    case LanguageId::Norwegian: return 186;
    case LanguageId::Spanish: return 156;
    case LanguageId::Swedish: return 196;
    default: return 0;
    }
}
}  // namespace

LanguageId LanguageFromSettingsText(const char* text)
{
    // Only the ASCII letters are folded: the game writes plain English names,
    // and an accented byte must not turn into something that matches.
    char upper[1024];
    size_t i = 0;
    for (; i + 1 < sizeof upper && text[i] != '\0'; ++i)
        upper[i] = (text[i] >= 'a' && text[i] <= 'z') ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
    upper[i] = '\0';
    if (text[i] != '\0')
        return LanguageId::None;  // longer than any name
    for (const NamedLanguage& named : kNamedLanguages) {
        if (IsSameText(upper, named.name))
            return named.language;
    }
    return LanguageId::None;
}

LanguageId LanguageFromPrimaryLanguage(int primaryLanguage)
{
    switch (primaryLanguage) {
    case LANG_CATALAN: return LanguageId::Spanish;  // the game has no Catalan; Spanish is closest
    case LANG_DANISH: return LanguageId::Danish;
    case LANG_GERMAN: return LanguageId::German;
    case LANG_ENGLISH: return LanguageId::English;
    case LANG_SPANISH: return LanguageId::Spanish;
    case LANG_FRENCH: return LanguageId::French;
    case LANG_ITALIAN: return LanguageId::Italian;
    case LANG_DUTCH: return LanguageId::Dutch;
    case LANG_NORWEGIAN: return LanguageId::Norwegian;  // Bokmål and Nynorsk alike
    case LANG_SWEDISH: return LanguageId::Swedish;
    default: return LanguageId::English;
    }
}

void SelectLanguage()
{
    if (SettingsFile* settings = CurrentSettings()) {
        char text[1024];
        settings->GetString("Locale", "Language", "NONE", text, sizeof text);
        const LanguageId named = LanguageFromSettingsText(text);
        if (named != LanguageId::None) {
            g_language = named;
            return;
        }
    }
    // The system locale, not the user's: the machine's language, not one account's.
    g_language = LanguageFromPrimaryLanguage(static_cast<int>(GetSystemDefaultLCID() & 0x3ff));
}

LanguageId CurrentLanguage() { return g_language; }

int LocalizedStringId(int baseId) { return baseId + StringOffset(g_language); }

void LoadLocalizedString(int baseId, char* out, int outSize)
{
    LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(LocalizedStringId(baseId)), out, outSize);
}

void ResetLanguageForTest() { g_language = LanguageId::English; }
