#include "common/parked_copies.h"

#include <string>
#include <vector>

#include "common/message_box.h"
#include "common/resource_ids.h"
#include "container/parking.h"
#include "ui/text.h"

size_t RestoreParkedCopiesAndReport(HWND owner)
{
    std::vector<std::wstring> leftOver;
    const size_t left = RestoreParkedCopies(&leftOver);
    if (!leftOver.empty()) {
        std::wstring text = LoadText(IDS_PARKED_LEFT_OVER) + L"\n";
        for (const std::wstring& path : leftOver)
            text += L"\n" + path;
        ShowMessage(owner, text, MB_OK | MB_ICONWARNING);
    }
    return left;
}
