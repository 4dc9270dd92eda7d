#include "shellext/class_factory.h"

#include <new>

#include "shellext/server_module.h"
#include "shellext/shell_ext.h"

CShellExtClassFactory::CShellExtClassFactory() { ServerObjectCreated(); }

CShellExtClassFactory::~CShellExtClassFactory() { ServerObjectDestroyed(); }

STDMETHODIMP CShellExtClassFactory::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
        return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CShellExtClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount));
}

STDMETHODIMP_(ULONG) CShellExtClassFactory::Release() {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CShellExtClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    CShellExt* shellExt = new (std::nothrow) CShellExt();
    if (shellExt == nullptr) return E_OUTOFMEMORY;
    // Hold a reference across the query: when it fails, the Release frees
    // the object instead of leaving it alive and counted.
    shellExt->AddRef();
    const HRESULT hr = shellExt->QueryInterface(riid, object);
    shellExt->Release();
    return hr;
}

STDMETHODIMP CShellExtClassFactory::LockServer(BOOL) { return S_OK; }

HRESULT CreateShellExtClassFactory(REFIID riid, void** object) {
    CShellExtClassFactory* factory = new (std::nothrow) CShellExtClassFactory();
    if (factory == nullptr) return E_OUTOFMEMORY;
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}
