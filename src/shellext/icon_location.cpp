#include "shellext/icon_location.h"

#include <cerrno>
#include <climits>
#include <cwchar>

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

#include "shellext/registry_key.h"

namespace {

// Registry strings are read with a byte count of 260, so a ProgID or a
// default-icon entry of more than 129 characters is not read at all. The
// buffers are twice that and zero-filled, so whatever is read is terminated.
constexpr DWORD kValueBytes = 260;

// Reads the default value of HKCR\subkey; false when the key or the value is
// missing, does not fit kValueBytes or is of another type than those allowed.
bool ReadDefaultString(const wchar_t* subkey, wchar_t (&value)[MAX_PATH], DWORD* type,
                       bool allowExpand) {
    for (wchar_t& c : value) c = L'\0';
    RegistryKey key;
    if (!key.Open(HKEY_CLASSES_ROOT, subkey, KEY_QUERY_VALUE)) return false;
    DWORD bytes = kValueBytes;
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, type, reinterpret_cast<BYTE*>(value),
                         &bytes) != ERROR_SUCCESS) {
        return false;
    }
    return *type == REG_SZ || (allowExpand && *type == REG_EXPAND_SZ);
}

bool Terminated(const wchar_t* text, size_t units) { return wcsnlen(text, units) < units; }

}  // namespace

bool StoredExtensionOf(const wchar_t* containerPath, wchar_t (&extension)[MAX_PATH]) {
    extension[0] = L'\0';
    if (containerPath == nullptr || !Terminated(containerPath, MAX_PATH)) return false;
    const size_t length = std::wcslen(containerPath);
    if (length < 5) return false;
    // From the fifth-last character back to the first; the search does not
    // stop at a separator, the separator check below turns that into a miss.
    size_t dot = length - 5;
    while (containerPath[dot] != L'.') {
        if (dot == 0) return false;
        --dot;
    }
    const size_t end = length - 4;
    for (size_t i = dot; i < end; ++i) {
        if (containerPath[i] == L'\\' || containerPath[i] == L'/') return false;
        extension[i - dot] = containerPath[i];
    }
    extension[end - dot] = L'\0';
    return true;
}

int SplitIconIndex(wchar_t* iconEntry) {
    wchar_t* comma = std::wcsrchr(iconEntry, L',');
    if (comma == nullptr) return 0;
    *comma = L'\0';
    // As "%ld" reads it: blanks, a sign, decimal digits; nothing else is 0.
    wchar_t* end = nullptr;
    errno = 0;
    const long number = std::wcstol(comma + 1, &end, 10);
    if (end == comma + 1) return 0;
    if (errno == ERANGE || number > INT_MAX || number < INT_MIN) {
        return number < 0 ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(number);
}

void StripEnclosingQuotes(wchar_t* text) {
    const size_t length = std::wcslen(text);
    // A lone quote begins and ends the text too; it is not a pair.
    if (length < 2 || text[0] != L'"' || text[length - 1] != L'"') return;
    std::wmemmove(text, text + 1, length - 2);
    text[length - 2] = L'\0';
}

HRESULT ContainerIconLocation(const wchar_t* containerPath, wchar_t* iconFile, UINT cchMax,
                              int* index) {
    wchar_t extension[MAX_PATH];
    if (!StoredExtensionOf(containerPath, extension)) return S_FALSE;

    wchar_t progId[MAX_PATH];
    DWORD type = REG_NONE;
    if (!ReadDefaultString(extension, progId, &type, false)) return S_FALSE;
    if (FAILED(StringCchCatW(progId, MAX_PATH, L"\\DefaultIcon"))) return S_FALSE;

    wchar_t iconEntry[MAX_PATH];
    if (!ReadDefaultString(progId, iconEntry, &type, true)) return S_FALSE;
    if (!Terminated(iconEntry, MAX_PATH)) return S_FALSE;

    const int iconIndex = SplitIconIndex(iconEntry);

    wchar_t expanded[MAX_PATH];
    wchar_t* location = iconEntry;
    if (type == REG_EXPAND_SZ) {
        const DWORD needed = ExpandEnvironmentStringsW(iconEntry, expanded, MAX_PATH);
        if (needed == 0 || needed > MAX_PATH || !Terminated(expanded, MAX_PATH)) return S_FALSE;
        location = expanded;
    }
    StripEnclosingQuotes(location);
    if (StringCchCopyW(iconFile, cchMax, location) != S_OK) return S_FALSE;
    *index = iconIndex;
    return S_OK;
}
