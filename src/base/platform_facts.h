// What the programs ask the system about itself: its version, the user's
// rights, whether this is a 32-bit process on a 64-bit system. Each answer
// comes through one table of functions that defaults to the real API;
// tests put a scripted table in its place to play a system Wine cannot be
// (a standard user, Windows XP, WOW64).
#pragma once

#include <windows.h>

struct PlatformFacts {
    BOOL(WINAPI* getVersion)(OSVERSIONINFOW* info);  // GetVersionExW
    BOOL (*isUserAnAdmin)();                          // the shell's administrator test
    bool (*isMemberOfAdministrators)();               // token holds S-1-5-32-544
    bool (*isWow64)();                                // IsWow64Process, false where absent
    // Access flag of the registry view the program writes by default: 0 for
    // the real system. A scripted WOW64 run of the 64-bit twin says
    // KEY_WOW64_32KEY, so the "own" view and the 64-bit view differ as they
    // do for the 32-bit program.
    REGSAM ownRegistryView;
};

// The real system's table.
const PlatformFacts& RealPlatformFacts();
// The table in use; null restores the real one. Not synchronised: set it
// before any thread that asks exists.
void SetPlatformFacts(const PlatformFacts* facts);
const PlatformFacts& CurrentPlatformFacts();

// GetVersionExW succeeds with platform id 2 and major version exactly 6.
bool IsNt6Family();
bool IsWow64();
// The shell's IsUserAnAdmin (named apart from its shlobj.h declaration), taken by ordinal 680 (shell32 exports it by
// name only from Windows XP on).
bool IsUserAdmin();
bool IsMemberOfAdministrators();
// Registry access flags: the program's own view, and the 64-bit view that
// a WOW64 process writes again.
REGSAM OwnRegistryView();
constexpr REGSAM kWow64RegistryView = KEY_WOW64_64KEY;
