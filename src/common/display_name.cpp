#include "common/display_name.h"

#include "ui/text.h"

std::wstring ShortenName(const wchar_t* name)
{
    std::wstring text = name ? name : L"";
    if (text.size() <= kShownNameUnits)
        return text;
    // Never between the two halves of a surrogate pair.
    size_t cut = kShownNameUnits;
    if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF)
        --cut;
    return text.substr(0, cut) + L"...";
}

std::wstring JobDisplayName(const std::wstring& joinedPath, bool compress)
{
    size_t slash = joinedPath.find_last_of(L"\\/:");
    std::wstring last = slash == std::wstring::npos ? joinedPath : joinedPath.substr(slash + 1);
    if (compress)
        return last;
    size_t dot = last.rfind(L'.');
    return dot == std::wstring::npos ? last : last.substr(0, dot);
}
