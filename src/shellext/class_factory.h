// CShellExtClassFactory: creates CShellExt objects for the file manager.
#pragma once

#include <windows.h>
#include <unknwn.h>

class CShellExtClassFactory final : public IClassFactory {
public:
    CShellExtClassFactory();
    CShellExtClassFactory(const CShellExtClassFactory&) = delete;
    CShellExtClassFactory& operator=(const CShellExtClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // Aggregation is refused: CShellExt has no outer-object support.
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    // Server locks are not counted; DllCanUnloadNow looks at live objects only.
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    ~CShellExtClassFactory();

    LONG refCount = 0;
};

// Creates a factory and returns its riid interface; a failed query frees it
// again, so it never outlives the call unreferenced.
HRESULT CreateShellExtClassFactory(REFIID riid, void** object);
