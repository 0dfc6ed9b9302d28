#include "game/language.h"

// Not built yet: English only.
void SelectLanguage() {}
int CurrentLanguage() { return ENGLISH; }
int LocalizedStringId(int baseId) { return baseId; }
void LoadLocalizedString(int baseId, char* out, int outSize)
{
    LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(LocalizedStringId(baseId)), out, outSize);
}
