#include "common/ui_language.h"

bool IsRightToLeftLanguageId(LANGID language)
{
    // Arabic: primary language 0x01 with sublanguages 1 to 16 (0x0401 ... 0x4001).
    if ((language & 0x3FF) == 0x01) {
        unsigned sublanguage = language >> 10;
        return sublanguage >= 1 && sublanguage <= 16;
    }
    return language == 0x0420 || language == 0x0429;
}

bool IsRightToLeftUILanguage()
{
    return IsRightToLeftLanguageId(::GetUserDefaultUILanguage());
}

bool IsJapaneseUILanguage()
{
    return ::GetUserDefaultUILanguage() == 0x0411;
}
