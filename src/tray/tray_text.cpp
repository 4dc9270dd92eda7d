#include "tray/tray_text.h"

#include <cwchar>

#include "common/resource_ids.h"
#include "ui/text.h"

std::wstring JoinDriveNames(const wchar_t* names, bool rightToLeft)
{
    std::wstring joined = L"(";
    for (const wchar_t* name = names; name && *name; name += std::wcslen(name) + 1) {
        if (joined.size() > 1)
            joined += L", ";
        if (rightToLeft)
            joined.push_back(name[0]);
        else
            joined += name;
    }
    return joined + L")";
}

std::wstring TrayTipText(const wchar_t* autoDrives, bool rightToLeft, bool administrator)
{
    if (autoDrives && *autoDrives)
        return CutText(LoadText(IDS_MENU_AUTO_DRIVE) + L" " + JoinDriveNames(autoDrives, rightToLeft), kTrayTipUnits);
    return CutText(administrator ? std::wstring(L"Tandrel (Administrator)") : LoadText(IDS_CAPTION), kTrayTipUnits);
}

std::wstring CutText(const std::wstring& text, size_t units)
{
    if (text.size() <= units)
        return text;
    size_t end = units;
    if (end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF)
        --end;  // a lead surrogate whose partner would be cut off
    return text.substr(0, end);
}
