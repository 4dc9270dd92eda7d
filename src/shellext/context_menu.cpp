// IContextMenu of CShellExt: the one item "Compress with Tandrel" or
// "Decompress with Tandrel", and starting the tray program's executable for
// it. The work itself happens in that process, not in the file manager.
#include "shellext/shell_ext.h"

#include <climits>

#include <shellapi.h>
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

#include "shellext/command_verbs.h"
#include "shellext/os_family.h"
#include "shellext/server_module.h"
#include "shellext/shellext_ids.h"
#include "shellext/shellext_resource.h"
#include "shellext/tray_executable.h"

namespace {

UINT HelpStringOf(UINT_PTR offset) {
    return offset == kCompressOffset ? IDS_COMPRESS_ITEM : IDS_DECOMPRESS_ITEM;
}

// LoadString with a length of 0 stores a pointer into the buffer instead of
// text, and its length is a signed int: refuse both before calling it.
bool UsableHelpBuffer(const void* buffer, UINT cchMax) {
    return buffer != nullptr && cchMax != 0 && cchMax <= static_cast<UINT>(INT_MAX);
}

}  // namespace

STDMETHODIMP CShellExt::QueryContextMenu(HMENU menu, UINT position, UINT firstCommand, UINT,
                                         UINT flags) {
    if (showItem == 0 || (flags & CMF_DEFAULTONLY) != 0) {
        return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, 0);
    }
    wchar_t text[64] = {};
    const UINT offset = compressItem == 1 ? kCompressOffset : kDecompressOffset;
    LoadStringW(serverModuleInstance, HelpStringOf(offset), text, 64);
    InsertMenuW(menu, position, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
    InsertMenuW(menu, position + 1, MF_STRING | MF_BYPOSITION, firstCommand + offset, text);
    // The code field counts the ids taken: the item's offset plus one.
    return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, offset + 1);
}

STDMETHODIMP CShellExt::GetCommandString(UINT_PTR offset, UINT type, UINT*, CHAR* buffer,
                                         UINT cchMax) {
    if (offset != kCompressOffset && offset != kDecompressOffset) return E_INVALIDARG;
    switch (type) {
    case GCS_VERBA:
        if (buffer == nullptr) return E_INVALIDARG;
        // S_OK, STRSAFE_E_INSUFFICIENT_BUFFER with a cut, terminated verb,
        // or E_INVALIDARG for a length of 0 or above a signed 32-bit count.
        return StringCchCopyA(buffer, cchMax, kVerbsA[offset]);
    case GCS_VERBW:
        if (buffer == nullptr) return E_INVALIDARG;
        return StringCchCopyW(reinterpret_cast<wchar_t*>(buffer), cchMax, kVerbsW[offset]);
    case GCS_HELPTEXTA:
        if (!UsableHelpBuffer(buffer, cchMax)) return E_INVALIDARG;
        LoadStringA(serverModuleInstance, HelpStringOf(offset), buffer, static_cast<int>(cchMax));
        return S_OK;
    case GCS_HELPTEXTW:
        if (!UsableHelpBuffer(buffer, cchMax)) return E_INVALIDARG;
        LoadStringW(serverModuleInstance, HelpStringOf(offset), reinterpret_cast<wchar_t*>(buffer),
                    static_cast<int>(cchMax));
        return S_OK;
    default:
        return S_OK;
    }
}

STDMETHODIMP CShellExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    if (info == nullptr) return E_INVALIDARG;
    const int offset = InvokedCommandOffset(*info);
    if (offset != static_cast<int>(kCompressOffset) && offset != static_cast<int>(kDecompressOffset)) {
        return E_FAIL;
    }
    // Without a selection there is no file to hand over.
    if (selectedPath[0] == L'\0') return E_FAIL;

    wchar_t executable[MAX_PATH];
    if (!TrayExecutablePath(IsNt6Family(), CallerIsAdministrator(), executable)) return E_FAIL;

    // The path is not quoted: the tray program takes the rest of its command
    // line after the switch as the path.
    wchar_t parameters[270];
    HRESULT hr = StringCchCopyW(parameters, 270, offset == static_cast<int>(kCompressOffset) ? L"-c " : L"-d ");
    if (SUCCEEDED(hr)) hr = StringCchCatW(parameters, 270, selectedPath);
    if (FAILED(hr)) return STRSAFE_E_INSUFFICIENT_BUFFER;

    // The invocation's window, folder and show state are not used: the tray
    // program shows its own progress.
    const HINSTANCE started =
        ShellExecuteW(nullptr, L"open", executable, parameters, nullptr, SW_SHOWNORMAL);
    // Values up to 32 are ShellExecute's error codes: the program did not start.
    if (reinterpret_cast<INT_PTR>(started) <= 32) return E_FAIL;
    return S_OK;
}
