// IExtractIconW of CShellExt: a container shows the icon of the file type it
// holds; the file manager extracts the icon itself from the location.
#include "shellext/shell_ext.h"

#include "shellext/icon_location.h"

STDMETHODIMP CShellExt::GetIconLocation(UINT, PWSTR iconFile, UINT cchMax, int* index,
                                        UINT* outFlags) {
    if (iconFile == nullptr || index == nullptr || outFlags == nullptr) return E_POINTER;
    int iconIndex = 0;
    if (ContainerIconLocation(loadedPath, iconFile, cchMax, &iconIndex) != S_OK) return S_FALSE;
    *index = iconIndex;
    *outFlags = 0;
    return S_OK;
}

STDMETHODIMP CShellExt::Extract(PCWSTR, UINT, HICON*, HICON*, UINT) { return S_FALSE; }
