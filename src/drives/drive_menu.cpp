#include "drives/drive_menu.h"

#include "drives/drive_list.h"

namespace {

// The Arabic locales, Farsi and Urdu.
constexpr LANGID kRightToLeftLanguages[] = {
    0x0401, 0x0801, 0x0C01, 0x1001, 0x1401, 0x1801, 0x1C01, 0x2001, 0x2401,
    0x2801, 0x2C01, 0x3001, 0x3401, 0x3801, 0x3C01, 0x4001, 0x0420, 0x0429,
};

}  // namespace

bool IsRightToLeftLanguageId(LANGID language) {
    for (LANGID id : kRightToLeftLanguages) {
        if (id == language) return true;
    }
    return false;
}

bool IsRightToLeftUILanguage() { return IsRightToLeftLanguageId(GetUserDefaultUILanguage()); }

void AppendDriveMenuItems(HMENU popup, UINT firstId, int showChecks) {
    AppendDriveMenuItemsFor(popup, firstId, showChecks, IsRightToLeftUILanguage());
}

void AppendDriveMenuItemsFor(HMENU popup, UINT firstId, int showChecks, bool rightToLeft) {
    LockDriveList();
    int k = 0;
    UINT id = firstId;
    for (DriveEntry* e = DriveListHead(); e != nullptr; e = e->next) {
        if (!e->isTarget) continue;
        const UINT flags = showChecks && e->autoCompress ? MF_CHECKED : MF_STRING;
        wchar_t text[kDriveNameUnits];
        lstrcpynW(text, e->name, kDriveNameUnits);
        if (rightToLeft) text[1] = L'\0';
        AppendMenuW(popup, flags, id, text);
        e->menuIndex = k;
        ++k;
        ++id;
    }
    UnlockDriveList();
}
