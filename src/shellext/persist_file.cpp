// IPersistFile of CShellExt: only Load matters, it names the container whose
// icon the file manager asks for next. The object never writes a file.
#include "shellext/shell_ext.h"

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

#include "shellext/shellext_ids.h"

STDMETHODIMP CShellExt::GetClassID(CLSID* classId) {
    if (classId == nullptr) return E_POINTER;
    *classId = CLSID_ShellExt;
    return S_OK;
}

STDMETHODIMP CShellExt::IsDirty() { return S_FALSE; }

STDMETHODIMP CShellExt::Load(LPCOLESTR fileName, DWORD mode) {
    loadedPath[0] = L'\0';
    if (fileName == nullptr) return E_POINTER;
    loadMode = mode;
    // A longer name is cut to 259 units; the cut result is still a success.
    StringCchCopyW(loadedPath, MAX_PATH, fileName);
    return S_OK;
}

STDMETHODIMP CShellExt::Save(LPCOLESTR, BOOL) { return E_FAIL; }

STDMETHODIMP CShellExt::SaveCompleted(LPCOLESTR) { return S_OK; }

STDMETHODIMP CShellExt::GetCurFile(LPOLESTR* fileName) {
    if (fileName != nullptr) *fileName = nullptr;
    return E_FAIL;
}
