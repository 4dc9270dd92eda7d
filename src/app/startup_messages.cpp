#include "app/startup_messages.h"

#include "common/message_box.h"
#include "common/resource_ids.h"
#include "ui/text.h"

void ShowStartupFailure(uint16_t code)
{
    const std::wstring failed = LoadText(IDS_STARTUP_FAILED);
    ShowMessage(nullptr, FormatText(L"%s (%04X)", failed.c_str(), static_cast<unsigned>(code)), MB_ICONERROR);
}

void ShowFrameworkError(const wchar_t* text)
{
    const std::wstring title = LoadText(IDS_APP_TITLE_FRAME);
    ::MessageBoxW(nullptr, text, title.c_str(), MessageBoxType(MB_ICONERROR));
}
