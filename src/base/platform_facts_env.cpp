// Linked only into the 64-bit twin, which only tests run: a whole process
// plays another system when TDZ_PLATFORM_FACTS says so, as the unit tests do
// with SetPlatformFacts. Format "major.minor,admin,wow64", e.g. "6.1,0,1"
// for a standard user's 32-bit program on 64-bit Windows 7.
//
// Wine's "runas" starts a program without elevating it, so a process
// started with one of the elevation switches plays an administrator, as the
// copy that the elevation prompt starts would be.
#include <cstdlib>
#include <cwchar>
#include <initializer_list>

#include "base/platform_facts.h"

namespace {

DWORD g_major = 6;
DWORD g_minor = 1;
bool g_admin = false;
bool g_wow64 = false;

BOOL WINAPI ScriptedVersion(OSVERSIONINFOW* info)
{
    info->dwMajorVersion = g_major;
    info->dwMinorVersion = g_minor;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwBuildNumber = 7601;
    return TRUE;
}
BOOL ScriptedAdmin() { return g_admin ? TRUE : FALSE; }
bool ScriptedMember() { return g_admin; }
bool ScriptedWow64() { return g_wow64; }

PlatformFacts g_scripted{ScriptedVersion, ScriptedAdmin, ScriptedMember, ScriptedWow64, 0};

bool StartedElevated()
{
    const wchar_t* line = ::GetCommandLineW();
    for (const wchar_t* name : {L"-startiwait ", L"-startuwait ", L"-startvwait "}) {
        if (std::wcsstr(line, name))
            return true;
    }
    return false;
}

struct FromEnvironment {
    FromEnvironment()
    {
        wchar_t text[64] = {};
        DWORD length = ::GetEnvironmentVariableW(L"TDZ_PLATFORM_FACTS", text, 64);
        if (length == 0 || length >= 64)
            return;
        unsigned major = 6, minor = 1, admin = 0, wow64 = 0;
        if (std::swscanf(text, L"%u.%u,%u,%u", &major, &minor, &admin, &wow64) != 4)
            return;
        g_major = major;
        g_minor = minor;
        g_admin = admin != 0 || StartedElevated();
        g_wow64 = wow64 != 0;
        g_scripted.ownRegistryView = g_wow64 ? KEY_WOW64_32KEY : 0;
        SetPlatformFacts(&g_scripted);
    }
};

const FromEnvironment g_fromEnvironment;

}  // namespace
