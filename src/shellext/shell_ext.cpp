// Construction, destruction and the IUnknown side of CShellExt.
#include "shellext/shell_ext.h"

#include "shellext/server_module.h"

CShellExt::CShellExt() { ServerObjectCreated(); }

CShellExt::~CShellExt() {
    ReleaseDataObject();
    ServerObjectDestroyed();
}

void CShellExt::ReleaseDataObject() {
    if (dataObject != nullptr) {
        dataObject->Release();
        dataObject = nullptr;
    }
}

STDMETHODIMP CShellExt::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    // IPersistFile is the object's identity; IPersist alone is not answered.
    if (IsEqualIID(riid, IID_IPersistFile) || IsEqualIID(riid, IID_IUnknown)) {
        *object = static_cast<IPersistFile*>(this);
    } else if (IsEqualIID(riid, IID_IExtractIconW)) {
        *object = static_cast<IExtractIconW*>(this);
    } else if (IsEqualIID(riid, IID_IShellIconOverlayIdentifier)) {
        *object = static_cast<IShellIconOverlayIdentifier*>(this);
    } else if (IsEqualIID(riid, IID_IShellExtInit)) {
        *object = static_cast<IShellExtInit*>(this);
    } else if (IsEqualIID(riid, IID_IContextMenu)) {
        *object = static_cast<IContextMenu*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CShellExt::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}

STDMETHODIMP_(ULONG) CShellExt::Release() {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}
