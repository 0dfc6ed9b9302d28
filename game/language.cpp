#include "game/language.h"

#include <cstring>

#include "game/settings_file.h"

namespace {
// The interface language. Only SelectLanguage writes it.
int g_language = ENGLISH;

struct NamedLanguage {
    const char* name;  // as the game writes it in kubo.ini, upper case
    int language;
};

// Compared in this order; the first equal name wins.
const NamedLanguage kNamedLanguages[] = {
    {"DANISH", DANISH},   {"DUTCH", DUTCH},         {"ENGLISH", ENGLISH},
    {"FRENCH", FRENCH},   {"GERMAN", GERMAN},       {"ITALIAN", ITALIAN},
    {"NORWEGIAN", NORWEGIAN}, {"SPANISH", SPANISH}, {"SWEDISH", SWEDISH},
};

// Where each language's block of eight strings starts, relative to English.
// The blocks sit in the string table in their own order, not by value.
int StringOffset(int language)
{
    switch (language) {
    case DANISH: return 176;
    case DUTCH: return 166;
    case FRENCH: return 136;
    case GERMAN: return 100;
    case ITALIAN: return 146;
    case NORWEGIAN: return 186;
    case SPANISH: return 156;
    case SWEDISH: return 196;
    default: return 0;
    }
}
}  // namespace

int LanguageFromSettingsText(const char* text)
{
    // Only the ASCII letters are folded: the game writes plain English names,
    // and an accented byte must not turn into something that matches.
    char upper[1024];
    size_t i = 0;
    for (; i + 1 < sizeof upper && text[i] != '\0'; ++i)
        upper[i] = (text[i] >= 'a' && text[i] <= 'z') ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
    upper[i] = '\0';
    if (text[i] != '\0')
        return 0;  // longer than any name
    for (const NamedLanguage& named : kNamedLanguages) {
        if (std::strcmp(upper, named.name) == 0)
            return named.language;
    }
    return 0;
}

int LanguageFromPrimaryLanguage(int primaryLanguage)
{
    switch (primaryLanguage) {
    case LANG_CATALAN: return SPANISH;  // the game has no Catalan; Spanish is closest
    case LANG_DANISH: return DANISH;
    case LANG_GERMAN: return GERMAN;
    case LANG_ENGLISH: return ENGLISH;
    case LANG_SPANISH: return SPANISH;
    case LANG_FRENCH: return FRENCH;
    case LANG_ITALIAN: return ITALIAN;
    case LANG_DUTCH: return DUTCH;
    case LANG_NORWEGIAN: return NORWEGIAN;  // Bokmål and Nynorsk alike
    case LANG_SWEDISH: return SWEDISH;
    default: return ENGLISH;
    }
}

void SelectLanguage()
{
    if (SettingsFile* settings = CurrentSettings()) {
        char text[1024];
        settings->GetString("Locale", "Language", "NONE", text, sizeof text);
        if (int named = LanguageFromSettingsText(text)) {
            g_language = named;
            return;
        }
    }
    // The system locale, not the user's: the machine's language, not one account's.
    g_language = LanguageFromPrimaryLanguage(static_cast<int>(GetSystemDefaultLCID() & 0x3ff));
}

int CurrentLanguage() { return g_language; }

int LocalizedStringId(int baseId) { return baseId + StringOffset(g_language); }

void LoadLocalizedString(int baseId, char* out, int outSize)
{
    LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(LocalizedStringId(baseId)), out, outSize);
}

void ResetLanguageForTest() { g_language = ENGLISH; }
