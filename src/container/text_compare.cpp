#include "container/text_compare.h"

namespace {

wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

bool StartsWithIgnoringAsciiCase(const wchar_t* text, const wchar_t* prefix)
{
    for (; *prefix != 0; ++text, ++prefix) {
        if (*text == 0 || FoldAscii(*text) != FoldAscii(*prefix))
            return false;
    }
    return true;
}

bool EqualsIgnoringAsciiCase(const wchar_t* a, const wchar_t* b)
{
    for (; *a != 0 || *b != 0; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b))
            return false;
    }
    return true;
}

bool Contains(const wchar_t* text, const wchar_t* part)
{
    for (; *text != 0; ++text) {
        const wchar_t* t = text;
        const wchar_t* p = part;
        while (*p != 0 && *t == *p) {
            ++t;
            ++p;
        }
        if (*p == 0)
            return true;
    }
    return *part == 0;
}
