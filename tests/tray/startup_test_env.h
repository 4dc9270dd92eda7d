// The start-up registration as a test sees it: the shortcut in this
// prefix's start-up folder, the overlay identifier in each registry view,
// the systems the tests play, and a clean slate before and after each test.
#pragma once

#include <windows.h>

#include <string>

#include "scripted_system.h"

namespace startup_test {

inline const ScriptedSystem kStandardUserNt6{6, 1, false, false, false};
inline const ScriptedSystem kAdministratorNt6{6, 1, true, true, false};
inline const ScriptedSystem kAdministratorWow64{6, 1, true, true, true};
inline const ScriptedSystem kOlderSystem{5, 1, true, true, false};

constexpr REGSAM kView32 = KEY_WOW64_32KEY;
constexpr REGSAM kView64 = KEY_WOW64_64KEY;

std::wstring ShortcutPath();
std::wstring PerUserProgram();  // local application data\Velmora Corporation\Tandrel\Tandrel.exe

// Removes the shortcut (file or folder) and the overlay identifier from
// both views; the real system's facts again.
void ClearRegistration();
bool ShortcutExists();
// A folder where the shortcut belongs: neither saved over nor deleted.
bool ObstructShortcut();
bool OverlayIn(REGSAM view);
bool WriteOverlayOnlyIn(REGSAM view);

struct LinkContents {
    bool read = false;
    std::wstring rawPath;  // as stored, environment variables unexpanded
    std::wstring arguments;
    std::wstring description;
    std::wstring workingFolder;
};
LinkContents ReadLink(const std::wstring& path);

}  // namespace startup_test
