#include "shellext/registry_key.h"

bool RegistryKey::Open(HKEY parent, const wchar_t* path, REGSAM access) {
    Close();
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path, 0, access, &key) != ERROR_SUCCESS) return false;
    key_ = key;
    return true;
}

void RegistryKey::Close() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
        key_ = nullptr;
    }
}
