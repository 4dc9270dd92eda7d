#include "app/tandrel_app.h"

#include "base/platform_facts.h"

bool IsSupportedOs()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!CurrentPlatformFacts().getVersion(&info) || info.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return false;
    const DWORD major = info.dwMajorVersion;
    const DWORD minor = info.dwMinorVersion;
    if (major > 5 || (major == 5 && minor >= 1)) {
        if (IsWow64() && major < 6)
            return false;  // a 32-bit process on a 64-bit NT 5 system
        if (major > 6 || (major == 6 && minor > 1))
            return false;
    }
    return major == 5 || major == 6;
}
