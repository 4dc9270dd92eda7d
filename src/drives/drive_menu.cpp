#include "drives/drive_menu.h"

#include "base/ui_language.h"
#include "drives/drive_list.h"

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
