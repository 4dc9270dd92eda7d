// Where the tray program lives once installed, and whether the running
// copy is that one. Paths are buffers of MAX_PATH units; a path that does
// not fit is a failure, never cut.
#pragma once

#include <windows.h>

// Appends tail to path; false (path unchanged) when the result does not fit.
bool AppendToPath(wchar_t (&path)[MAX_PATH], const wchar_t* tail);

// The running executable. A path of MAX_PATH units or more is a failure:
// GetModuleFileNameW then cuts it (and Windows XP leaves no terminator).
bool RunningExecutablePath(wchar_t (&path)[MAX_PATH]);

// NT 6 family: the program-files folder of 32-bit programs for an
// administrator, else the local application-data folder, followed by
// "\Velmora Corporation\Tandrel". NT 5: "%SystemRoot%\system32\Tandrel".
bool InstallationFolder(wchar_t (&folder)[MAX_PATH]);
// The installation folder followed by "\Tandrel.exe".
bool InstalledExecutablePath(wchar_t (&path)[MAX_PATH]);

// True when both paths name one file, whatever the spelling (short names,
// case, "." and ".." parts): compared by volume and file index. When either
// cannot be opened, the long forms of both are compared as text.
bool IsSameFile(const wchar_t* first, const wchar_t* second);

// The long form of path (the shell may hand over a short name); path
// itself when it has none or the long form does not fit.
void LongPathOf(const wchar_t* path, wchar_t (&longPath)[MAX_PATH]);
