// One open registry key, closed when its owner goes.
#pragma once

#include <windows.h>

class RegistryKey final {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { Close(); }

    // Opens parent\path (never creates it); false when it cannot be opened.
    [[nodiscard]] bool Open(HKEY parent, const wchar_t* path, REGSAM access);
    void Close();
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};
