// Where the tray program's installed executable is, seen from the process
// the extension runs in.
#pragma once

#include <windows.h>

// NT 6 family: the program-files folder (administrator) or the local
// application-data folder, then "\Velmora Corporation\Tandrel\Tandrel.exe".
// Older systems: "%SystemRoot%\system32\Tandrel\Tandrel.exe", expanded.
// False when a folder cannot be found or the path does not fit.
[[nodiscard]] bool TrayExecutablePath(bool nt6Family, bool administrator, wchar_t (&path)[MAX_PATH]);
