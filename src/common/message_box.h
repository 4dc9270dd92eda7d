// Message boxes the programs build themselves: caption "Tandrel" (61206),
// and MB_RIGHT | MB_RTLREADING where the layout is right to left.
#pragma once

#include <windows.h>

#include <string>

constexpr UINT kRightToLeftMessageBox = MB_RIGHT | MB_RTLREADING;  // 0x180000

// type with the right-to-left bits added when they apply.
UINT MessageBoxType(UINT type);

int ShowMessage(HWND owner, const std::wstring& text, UINT type);
