#include "base/ui_language.h"

namespace {

constexpr LANGID kRightToLeftLanguages[] = {
    0x0401, 0x0801, 0x0C01, 0x1001, 0x1401, 0x1801, 0x1C01, 0x2001, 0x2401,
    0x2801, 0x2C01, 0x3001, 0x3401, 0x3801, 0x3C01, 0x4001, 0x0420, 0x0429,
};

}  // namespace

bool IsRightToLeftLanguageId(LANGID language)
{
    for (LANGID id : kRightToLeftLanguages) {
        if (id == language)
            return true;
    }
    return false;
}

bool IsRightToLeftUILanguage()
{
    return IsRightToLeftLanguageId(::GetUserDefaultUILanguage());
}

bool IsJapaneseUILanguage()
{
    return ::GetUserDefaultUILanguage() == 0x0411;
}
