// The user's interface language, as far as the programs look at it
// themselves: right-to-left layout (message-box flags, mirrored dialogs,
// drive menu items) and the Japanese web page. Texts are chosen by the
// resource lookup, never here. Shared by the drive menu and the dialogs.
#pragma once

#include <windows.h>

// The Arabic language ids, Urdu (0x0420) and Farsi (0x0429).
bool IsRightToLeftLanguageId(LANGID language);

bool IsRightToLeftUILanguage();
bool IsJapaneseUILanguage();
