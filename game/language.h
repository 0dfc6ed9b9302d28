// game/language.h: the interface language, one of nine, chosen from the
// game's settings file or the system's default locale, and the saver's
// localized strings in that language.
#pragma once
#include <windows.h>

// Values of the process-wide language; English until SelectLanguage runs.
// None stands for "no language named" and is never the current language.
enum class LanguageId : int {
    None = 0,
    Danish = 1,
    Dutch = 2,
    English = 3,
    French = 4,
    German = 5,
    Italian = 6,
    Norwegian = 7,
    Spanish = 8,
    Swedish = 9,
};

// Chooses the language: key "Language" of section "Locale" in the current
// settings file when it names one, else the system's default locale.
void SelectLanguage();
LanguageId CurrentLanguage();

// The string id of an English base id (114 to 121) in the current language.
int LocalizedStringId(int baseId);

// Loads a base id's text in the current language from the running executable.
void LoadLocalizedString(int baseId, char* out, int outSize);

// The language a settings-file text names once upper-cased ("german" gives
// German); None when it names none. Only the whole text counts.
LanguageId LanguageFromSettingsText(const char* text);

// The language for the primary language of a locale (its id & 0x3ff);
// English for every language the saver does not speak.
LanguageId LanguageFromPrimaryLanguage(int primaryLanguage);

// Restores English; for tests only.
void ResetLanguageForTest();
