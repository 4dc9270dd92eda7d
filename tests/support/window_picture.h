// A picture of a window as it stands on the screen, saved as a 24-bit BMP
// file: for the screenshot galleries of the dialogs.
#pragma once

#include <windows.h>

#include <string>

namespace probe {

bool SaveWindowPicture(HWND hwnd, const std::wstring& path);

}  // namespace probe
