#include "tray/startup_registration.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

#include "base/platform_facts.h"
#include "base/win_handle.h"

const wchar_t kOverlayParentKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers";
const wchar_t kOverlayIdentifierName[] = L"TandrelFile.1";
const wchar_t kOverlayClassId[] = L"{5B1F3C2E-8D47-4A9B-9E21-6C0D7F4A1B93}";

namespace {

const wchar_t kExplorerKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const wchar_t kOverlaySubkey[] = L"ShellIconOverlayIdentifiers\\TandrelFile.1";
const wchar_t kShortcutName[] = L"\\Tandrel.lnk";
const wchar_t kMakerFolder[] = L"\\Velmora Corporation\\Tandrel";
const wchar_t kProgramName[] = L"\\Tandrel.exe";
const wchar_t kOlderSystemTarget[] = L"%SystemRoot%\\system32\\Tandrel\\Tandrel.exe";

bool Append(wchar_t (&buffer)[MAX_PATH], const wchar_t* tail)
{
    size_t used = std::wcslen(buffer);
    size_t more = std::wcslen(tail);
    if (used + more >= MAX_PATH)
        return false;
    std::wmemcpy(buffer + used, tail, more + 1);
    return true;
}

bool AdministratorOnNt6() { return IsNt6Family() && IsUserAdmin(); }

// Every view the identifier is written to: the program's own, and the
// 64-bit one a WOW64 process writes again because the 64-bit file manager
// reads only that one.
int OverlayViews(REGSAM (&views)[2])
{
    views[0] = OwnRegistryView();
    if (!IsWow64())
        return 1;
    views[1] = kWow64RegistryView;
    return 2;
}

bool WriteOverlayIn(REGSAM view)
{
    RegKey explorer;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kExplorerKey, 0, KEY_WRITE | view, explorer.Receive()) != ERROR_SUCCESS)
        return false;
    RegKey identifier;
    if (::RegCreateKeyExW(explorer.Get(), kOverlaySubkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | view,
                          nullptr, identifier.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(identifier.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOverlayClassId),
                            sizeof kOverlayClassId) == ERROR_SUCCESS;
}

bool OverlayExistsIn(REGSAM view)
{
    wchar_t path[MAX_PATH] = {};
    std::swprintf(path, MAX_PATH, L"%ls\\%ls", kOverlayParentKey, kOverlayIdentifierName);
    RegKey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, key.Receive()) == ERROR_SUCCESS;
}

// True when the identifier is absent from the view afterwards.
bool DeleteOverlayIn(REGSAM view)
{
    RegKey parent;
    LONG opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOverlayParentKey, 0, KEY_ALL_ACCESS | view, parent.Receive());
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    LONG deleted = ::RegDeleteKeyW(parent.Get(), kOverlayIdentifierName);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

// Looked up at run time: the shipped program also starts on systems whose
// shell may lack it, and only the NT 6 family calls it.
void ReloadOverlayIdentifiers()
{
    using Proc = HRESULT(WINAPI*)();
    HMODULE shell = ::GetModuleHandleW(L"shell32.dll");
    if (!shell)
        return;
    auto proc = reinterpret_cast<Proc>(
        reinterpret_cast<void*>(::GetProcAddress(shell, "SHLoadNonloadedIconOverlayIdentifiers")));
    if (proc)
        proc();
}

}  // namespace

bool GetStartupShortcutPath(wchar_t (&path)[MAX_PATH])
{
    path[0] = L'\0';
    if (!::SHGetSpecialFolderPathW(nullptr, path, CSIDL_STARTUP, TRUE))
        return false;
    return Append(path, kShortcutName);
}

bool GetStartupShortcutTarget(wchar_t (&target)[MAX_PATH])
{
    target[0] = L'\0';
    if (!IsNt6Family()) {
        // Left unexpanded: the link resolves it when the user logs on.
        std::wmemcpy(target, kOlderSystemTarget, sizeof kOlderSystemTarget / sizeof(wchar_t));
        return true;
    }
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, target)))
        return false;
    return Append(target, kMakerFolder) && Append(target, kProgramName);
}

int WriteOverlayIdentifier()
{
    REGSAM views[2];
    int count = OverlayViews(views);
    for (int i = 0; i < count; ++i) {
        if (!WriteOverlayIn(views[i]))
            return 0;
    }
    return 1;
}

int DeleteOverlayIdentifier()
{
    REGSAM views[2];
    int count = OverlayViews(views);
    bool gone = true;
    for (int i = 0; i < count; ++i)
        gone = DeleteOverlayIn(views[i]) && gone;
    ReloadOverlayIdentifiers();
    return gone ? 1 : 0;
}

bool OverlayIdentifierExists()
{
    REGSAM views[2];
    int count = OverlayViews(views);
    for (int i = 0; i < count; ++i) {
        if (OverlayExistsIn(views[i]))
            return true;
    }
    return false;
}

int IsRegisteredForStartup()
{
    if (AdministratorOnNt6())
        return OverlayIdentifierExists() ? 1 : 0;
    wchar_t link[MAX_PATH];
    if (!GetStartupShortcutPath(link))
        return 0;
    return ::GetFileAttributesW(link) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int RegisterForStartup()
{
    if (AdministratorOnNt6())
        return WriteOverlayIdentifier();
    wchar_t link[MAX_PATH];
    wchar_t target[MAX_PATH];
    if (!GetStartupShortcutPath(link) || !GetStartupShortcutTarget(target))
        return 0;
    return CreateStartupShortcut(link, L"", target);
}

int UnregisterFromStartup()
{
    if (AdministratorOnNt6())
        return DeleteOverlayIdentifier();
    wchar_t link[MAX_PATH];
    if (!GetStartupShortcutPath(link))
        return 0;
    ::SetFileAttributesW(link, FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(link) ? 1 : 0;
}

int CreateStartupShortcut(const wchar_t* link, const wchar_t* description, const wchar_t* target)
{
    if (FAILED(::CoInitialize(nullptr)))
        return 0;
    int saved = 0;
    IShellLinkW* shellLink = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&shellLink)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            saved = SUCCEEDED(shellLink->SetPath(target)) && SUCCEEDED(shellLink->SetDescription(description)) &&
                    SUCCEEDED(file->Save(link, TRUE));
            file->Release();
        }
        shellLink->Release();
    }
    ::CoUninitialize();
    return saved;
}

bool StartElevatedCopy(const wchar_t* switchFormat)
{
    wchar_t program[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    wchar_t parameters[64] = {};
    std::swprintf(parameters, 64, switchFormat, static_cast<unsigned>(::GetCurrentProcessId()));
    wchar_t directory[MAX_PATH] = {};
    DWORD folder = ::GetCurrentDirectoryW(MAX_PATH, directory);
    if (folder >= MAX_PATH)
        directory[0] = L'\0';

    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.lpVerb = L"runas";
    info.lpFile = program;
    info.lpParameters = parameters;
    info.lpDirectory = directory[0] ? directory : nullptr;
    info.nShow = SW_SHOWNORMAL;
    return ::ShellExecuteExW(&info) != FALSE;
}

bool WaitForPredecessor(DWORD processId, const wchar_t* mutexName, DWORD timeoutMs)
{
    if (processId == 0)
        return true;
    // Only wakes the wait early: by now the id may name another process.
    ProcessHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    const DWORD start = ::GetTickCount();
    for (;;) {
        MutexHandle held(::OpenMutexW(SYNCHRONIZE, FALSE, mutexName));
        if (!held.Valid() && ::GetLastError() == ERROR_FILE_NOT_FOUND)
            return true;
        held.Reset();
        DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        DWORD slice = timeoutMs - elapsed < 50 ? timeoutMs - elapsed : 50;
        if (process.Valid()) {
            // Once it has ended the mutex goes with its last handle; the
            // next look sees that.
            if (::WaitForSingleObject(process.Get(), slice) == WAIT_OBJECT_0)
                process.Reset();
        } else {
            ::Sleep(slice);
        }
    }
}
