#include "shellext/os_family.h"

#include <windows.h>

bool IsNt6Family() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info)) return false;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == 6;
}

bool CallerIsAdministrator() {
    // Looked up at run time: only the NT 6 family asks, and a static import
    // of a name that an older shell32 exports by ordinal only would keep the
    // whole module from loading there.
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (shell == nullptr) return false;
    using IsUserAnAdminFn = BOOL(WINAPI*)();
    auto isUserAnAdmin =
        reinterpret_cast<IsUserAnAdminFn>(reinterpret_cast<void*>(GetProcAddress(shell, "IsUserAnAdmin")));
    return isUserAnAdmin != nullptr && isUserAnAdmin() != FALSE;
}
