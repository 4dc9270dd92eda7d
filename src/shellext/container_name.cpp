#include "shellext/container_name.h"

#include <windows.h>

#include <cwchar>

bool HasContainerExtension(const wchar_t* name) {
    static const wchar_t kExtension[] = L".tdz";
    const size_t extLength = 4;
    if (name == nullptr) return false;
    const size_t length = std::wcslen(name);
    if (length < extLength) return false;
    return lstrcmpiW(name + length - extLength, kExtension) == 0;
}
