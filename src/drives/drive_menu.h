// The drive items of the tray menu's three drive submenus.
#pragma once

#include <windows.h>

// Command id ranges of the three submenus, 32 drives each.
constexpr UINT kAutoCompressFirstId = 2000;
constexpr UINT kCompressDriveFirstId = 2100;
constexpr UINT kRemoveDriveFirstId = 2200;
constexpr UINT kDriveMenuRange = 32;

// Appends one item per target drive, in list order, with command ids from
// firstId on, and stores each entry's position among them as its menu index.
// Items read "E:", or "E" under a right-to-left UI language; they are
// checked only with showChecks and automatic compression on.
void AppendDriveMenuItems(HMENU popup, UINT firstId, int showChecks);

// The same with the language decision given, for callers that already know it.
void AppendDriveMenuItemsFor(HMENU popup, UINT firstId, int showChecks, bool rightToLeft);

