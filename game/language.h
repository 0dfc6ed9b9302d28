// game/language.h: the interface language, one of nine, chosen from the
// game's settings file or the system's default locale, and the saver's
// localized strings in that language.
#pragma once
#include <windows.h>

// Values of the process-wide language; English until SelectLanguage runs.
enum LanguageId : int {
    DANISH = 1,
    DUTCH = 2,
    ENGLISH = 3,
    FRENCH = 4,
    GERMAN = 5,
    ITALIAN = 6,
    NORWEGIAN = 7,
    SPANISH = 8,
    SWEDISH = 9,
};

// Chooses the language: key "Language" of section "Locale" in the current
// settings file when it names one, else the system's default locale.
void SelectLanguage();
int CurrentLanguage();

// The string id of an English base id (114 to 121) in the current language.
int LocalizedStringId(int baseId);

// Loads a base id's text in the current language from the running executable.
void LoadLocalizedString(int baseId, char* out, int outSize);

// The language a settings-file text names once upper-cased ("german" gives
// GERMAN); 0 when it names none. Only the whole text counts.
int LanguageFromSettingsText(const char* text);

// The language for the primary language of a locale (its id & 0x3ff);
// English for every language the saver does not speak.
int LanguageFromPrimaryLanguage(int primaryLanguage);

// Restores English; for tests only.
void ResetLanguageForTest();
