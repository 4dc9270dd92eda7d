#include "startup_test_env.h"

#include <shlobj.h>

#include "tray/startup_registration.h"

namespace startup_test {

namespace {

std::wstring OverlayKey() { return std::wstring(kOverlayParentKey) + L"\\" + kOverlayIdentifierName; }

void DeleteOverlayFrom(REGSAM view)
{
    HKEY parent = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOverlayParentKey, 0, KEY_ALL_ACCESS | view, &parent) == ERROR_SUCCESS) {
        ::RegDeleteKeyW(parent, kOverlayIdentifierName);
        ::RegCloseKey(parent);
    }
}

}  // namespace

std::wstring ShortcutPath()
{
    wchar_t folder[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, TRUE);
    return std::wstring(folder) + L"\\Tandrel.lnk";
}

std::wstring PerUserProgram()
{
    wchar_t folder[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::wstring(folder) + L"\\Velmora Corporation\\Tandrel\\Tandrel.exe";
}

void ClearRegistration()
{
    RestoreSystem();
    const std::wstring link = ShortcutPath();
    ::SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(link.c_str());
    ::RemoveDirectoryW(link.c_str());
    DeleteOverlayFrom(kView32);
    DeleteOverlayFrom(kView64);
}

bool ShortcutExists() { return ::GetFileAttributesW(ShortcutPath().c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ObstructShortcut() { return ::CreateDirectoryW(ShortcutPath().c_str(), nullptr) != FALSE; }

bool OverlayIn(REGSAM view)
{
    RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE, OverlayKey().c_str(), nullptr, view);
    return value.found && value.type == REG_SZ && value.data == std::wstring(kOverlayClassId, 39);
}

bool WriteOverlayOnlyIn(REGSAM view)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, OverlayKey().c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return false;
    bool written = ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOverlayClassId),
                                    static_cast<DWORD>((wcslen(kOverlayClassId) + 1) * sizeof(wchar_t))) ==
                   ERROR_SUCCESS;
    ::RegCloseKey(key);
    return written;
}

LinkContents ReadLink(const std::wstring& path)
{
    LinkContents contents;
    if (FAILED(::CoInitialize(nullptr)))
        return contents;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
                wchar_t text[MAX_PATH] = {};
                contents.read = SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH));
                contents.rawPath = text;
                text[0] = L'\0';
                link->GetArguments(text, MAX_PATH);
                contents.arguments = text;
                text[0] = L'\0';
                link->GetDescription(text, MAX_PATH);
                contents.description = text;
                text[0] = L'\0';
                link->GetWorkingDirectory(text, MAX_PATH);
                contents.workingFolder = text;
            }
            file->Release();
        }
        link->Release();
    }
    ::CoUninitialize();
    return contents;
}

}  // namespace startup_test
