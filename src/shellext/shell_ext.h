// CShellExt: the one COM class of the server. The file manager uses it as a
// context-menu handler for every file, as the overlay identifier and as the
// icon handler of container files. Each base is a sub-object with its own
// interface table; all of them share one reference count.
#pragma once

#include <windows.h>
#include <shlobj.h>

class CShellExt final : public IPersistFile,
                        public IExtractIconW,
                        public IShellIconOverlayIdentifier,
                        public IShellExtInit,
                        public IContextMenu {
public:
    CShellExt();
    CShellExt(const CShellExt&) = delete;
    CShellExt& operator=(const CShellExt&) = delete;

    // IUnknown, reached through every table.
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPersistFile (persist_file.cpp): the file manager hands over the
    // container whose icon it wants.
    STDMETHODIMP GetClassID(CLSID* classId) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPCOLESTR fileName, DWORD mode) override;
    STDMETHODIMP Save(LPCOLESTR fileName, BOOL remember) override;
    STDMETHODIMP SaveCompleted(LPCOLESTR fileName) override;
    STDMETHODIMP GetCurFile(LPOLESTR* fileName) override;

    // IExtractIconW (icon_handler.cpp).
    STDMETHODIMP GetIconLocation(UINT flags, PWSTR iconFile, UINT cchMax, int* index,
                                 UINT* outFlags) override;
    STDMETHODIMP Extract(PCWSTR file, UINT index, HICON* largeIcon, HICON* smallIcon,
                         UINT sizes) override;

    // IShellIconOverlayIdentifier (overlay_identifier.cpp).
    STDMETHODIMP IsMemberOf(PCWSTR path, DWORD attributes) override;
    STDMETHODIMP GetOverlayInfo(PWSTR iconFile, int cchMax, int* index, DWORD* flags) override;
    STDMETHODIMP GetPriority(int* priority) override;

    // IShellExtInit (shell_ext_init.cpp).
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progIdKey) override;

    // IContextMenu (context_menu.cpp).
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT position, UINT firstCommand, UINT lastCommand,
                                  UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR offset, UINT type, UINT* reserved, CHAR* buffer,
                                  UINT cchMax) override;

private:
    ~CShellExt();
    void ReleaseDataObject();

    LONG refCount = 0;
    IDataObject* dataObject = nullptr;  // owned reference: the last selection
    DWORD loadMode = 0;                 // as given to Load
    wchar_t loadedPath[MAX_PATH] = {};  // as given to Load, cut to 259 units
    wchar_t selectedPath[MAX_PATH] = {};
    int showItem = 0;                   // 1: QueryContextMenu adds the item
    int compressItem = 0;               // 1: Compress, 0: Decompress
};
