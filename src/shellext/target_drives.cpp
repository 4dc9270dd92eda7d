#include "shellext/target_drives.h"

#include <windows.h>

#include "shellext/registry_key.h"

void DrivePartOf(const wchar_t* path, wchar_t (&drive)[3]) {
    drive[0] = drive[1] = drive[2] = L'\0';
    if (path != nullptr && path[0] != L'\0' && path[1] == L':') {
        drive[0] = path[0];
        drive[1] = L':';
    }
}

bool DriveListHolds(const wchar_t* list, size_t units, const wchar_t* drive) {
    if (drive == nullptr || drive[0] == L'\0') return false;
    wchar_t entry[MAX_PATH];
    size_t pos = 0;
    while (pos < units && list[pos] != L'\0') {
        size_t length = 0;
        while (pos + length < units && list[pos + length] != L'\0') ++length;
        if (length < MAX_PATH) {
            for (size_t i = 0; i < length; ++i) entry[i] = list[pos + i];
            entry[length] = L'\0';
            if (lstrcmpiW(entry, drive) == 0) return true;
        }
        pos += length + 1;
    }
    return false;
}

bool IsTargetDrive(const wchar_t* drive, bool nt6Family) {
    RegistryKey key;
    if (!key.Open(nt6Family ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                  L"SOFTWARE\\Velmora Corporation\\Tandrel", KEY_READ)) {
        return false;
    }
    // 256 bytes: 26 drive names with their terminators fit three times over.
    wchar_t list[128] = {};
    DWORD bytes = sizeof(list);
    if (RegQueryValueExW(key.Get(), L"CurrentDrive", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(list), &bytes) != ERROR_SUCCESS) {
        return false;
    }
    return DriveListHolds(list, bytes / sizeof(wchar_t), drive);
}
