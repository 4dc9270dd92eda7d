// IShellIconOverlayIdentifier of CShellExt: container files carry the
// module's own icon (index 0) as an overlay. IsMemberOf runs for every file
// the file manager shows, so it only looks at the name.
#include "shellext/shell_ext.h"

#include "shellext/container_name.h"
#include "shellext/server_module.h"

STDMETHODIMP CShellExt::IsMemberOf(PCWSTR path, DWORD) {
    return HasContainerExtension(path) ? S_OK : S_FALSE;
}

STDMETHODIMP CShellExt::GetOverlayInfo(PWSTR iconFile, int cchMax, int* index, DWORD* flags) {
    if (iconFile == nullptr || index == nullptr || flags == nullptr) return E_POINTER;
    if (cchMax <= 0) return E_INVALIDARG;
    // A path that does not fit is cut, and on older systems left without its
    // terminator: report it instead of handing out a wrong file name.
    const DWORD room = static_cast<DWORD>(cchMax);
    const DWORD length = GetModuleFileNameW(serverModuleInstance, iconFile, room);
    if (length == 0 || length >= room) {
        iconFile[0] = L'\0';
        return E_FAIL;
    }
    *index = 0;
    *flags = ISIOI_ICONFILE | ISIOI_ICONINDEX;
    return S_OK;
}

STDMETHODIMP CShellExt::GetPriority(int* priority) {
    if (priority == nullptr) return E_POINTER;
    *priority = 0;
    return S_OK;
}
