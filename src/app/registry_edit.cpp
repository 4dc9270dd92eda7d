#include "app/registry_edit.h"

#include <cwchar>
#include <string>

RegKey OpenKey(HKEY parent, const wchar_t* path, REGSAM access, REGSAM view)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(parent, path, 0, access | view, &key) != ERROR_SUCCESS)
        return RegKey();
    return RegKey(key);
}

RegKey CreateKey(HKEY parent, const wchar_t* path, KeyLife life, REGSAM access, REGSAM view)
{
    const wchar_t* last = std::wcsrchr(path, L'\\');
    RegKey base;
    HKEY under = parent;
    const wchar_t* name = path;
    if (last && life == KeyLife::kVolatile) {
        const std::wstring parents(path, static_cast<size_t>(last - path));
        HKEY created = nullptr;
        if (::RegCreateKeyExW(parent, parents.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access | view, nullptr,
                              &created, nullptr) != ERROR_SUCCESS)
            return RegKey();
        base.Reset(created);
        under = created;
        name = last + 1;
    }
    HKEY key = nullptr;
    const DWORD options = life != KeyLife::kPermanent ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE;
    if (::RegCreateKeyExW(under, name, 0, nullptr, options, access | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return RegKey();
    return RegKey(key);
}

bool SetText(HKEY key, const wchar_t* name, const wchar_t* text, DWORD type)
{
    const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text), bytes) == ERROR_SUCCESS;
}

bool DeleteSubkey(HKEY key, const wchar_t* name, REGSAM view)
{
    using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    static const DeleteKeyEx deleteKeyEx = [] {
        HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
        return advapi ? reinterpret_cast<DeleteKeyEx>(
                            reinterpret_cast<void*>(::GetProcAddress(advapi, "RegDeleteKeyExW")))
                      : nullptr;
    }();
    if (deleteKeyEx)
        return deleteKeyEx(key, name, view, 0) == ERROR_SUCCESS;
    return ::RegDeleteKeyW(key, name) == ERROR_SUCCESS;
}
