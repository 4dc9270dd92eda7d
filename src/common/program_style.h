// What differs between the two programs that share these dialogs and
// messages: only the tray program lays itself out right to left for an
// Arabic, Urdu or Farsi user, and the text of a name that is too long sits
// under a different id in the two string tables.
#pragma once

#include <windows.h>

#include "common/resource_ids.h"

struct ProgramStyle {
    bool rightToLeftLayout;
    UINT nameTooLongTextId;
};

constexpr ProgramStyle kTandrelStyle{true, IDS_NAME_TOO_LONG};
constexpr ProgramStyle kDecompressionStyle{false, IDS_DECOMPRESSION_NAME_TOO_LONG};

// Set once at start-up, before any dialog opens; the tray program's is the
// default.
void SetProgramStyle(const ProgramStyle& style);
const ProgramStyle& GetProgramStyle();

// Dialogs are mirrored and message boxes read right to left: the program
// does so and the user's interface language asks for it.
bool UsesRightToLeftLayout();
