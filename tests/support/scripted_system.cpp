#include "scripted_system.h"

namespace {

ScriptedSystem g_system;

BOOL WINAPI Version(OSVERSIONINFOW* info)
{
    info->dwMajorVersion = g_system.major;
    info->dwMinorVersion = g_system.minor;
    info->dwPlatformId = g_system.platform;
    info->dwBuildNumber = 7601;
    return g_system.versionFails ? FALSE : TRUE;
}
BOOL Admin() { return g_system.admin; }
bool Member() { return g_system.member; }
bool Wow64() { return g_system.wow64; }

PlatformFacts g_facts{Version, Admin, Member, Wow64, 0};

}  // namespace

void PlaySystem(const ScriptedSystem& system)
{
    g_system = system;
    g_facts.ownRegistryView = system.wow64 ? KEY_WOW64_32KEY : 0;
    SetPlatformFacts(&g_facts);
}

void RestoreSystem() { SetPlatformFacts(nullptr); }

RegistryValue ReadRegistryValue(HKEY hive, const wchar_t* key, const wchar_t* name, REGSAM view)
{
    RegistryValue value;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(hive, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return value;
    BYTE buffer[2048] = {};
    DWORD size = sizeof(buffer);
    if (::RegQueryValueExW(opened, name, nullptr, &value.type, buffer, &size) == ERROR_SUCCESS) {
        value.found = true;
        value.bytes = size;
        value.data.assign(reinterpret_cast<wchar_t*>(buffer), size / sizeof(wchar_t));
    }
    ::RegCloseKey(opened);
    return value;
}
