// A scripted system for the tray program's tests: platform facts of
// another Windows (version, administrator, WOW64) and a registry reader.
#pragma once

#include <windows.h>

#include <string>

#include "base/platform_facts.h"

struct ScriptedSystem {
    DWORD major = 6;
    DWORD minor = 1;
    bool admin = false;
    bool member = false;
    bool wow64 = false;
    DWORD platform = VER_PLATFORM_WIN32_NT;
    bool versionFails = false;  // GetVersionExW itself fails
};

// Installs the facts until Restore (or the next Play).
void PlaySystem(const ScriptedSystem& system);
void RestoreSystem();

// Raw bytes of a registry value, or nullopt-like empty with found false.
struct RegistryValue {
    bool found = false;
    DWORD type = 0;
    std::wstring data;  // bytes as UTF-16 units (odd trailing byte dropped)
    DWORD bytes = 0;
};
RegistryValue ReadRegistryValue(HKEY hive, const wchar_t* key, const wchar_t* name, REGSAM view = 0);
