#include "common/message_box.h"

#include "common/program_style.h"
#include "common/resource_ids.h"
#include "ui/text.h"

UINT MessageBoxType(UINT type)
{
    return UsesRightToLeftLayout() ? (type | kRightToLeftMessageBox) : type;
}

int ShowMessage(HWND owner, const std::wstring& text, UINT type)
{
    std::wstring caption = LoadText(IDS_CAPTION);
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), MessageBoxType(type));
}
