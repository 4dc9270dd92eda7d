// What the shell-extension tests share: the real module loaded the way the
// file manager loads it, a data object carrying a dropped-file list, and
// registry and file fixtures that put the prefix back as they found it.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

// The class id as the registration writes it, kept apart from the product's
// constant so a wrong constant there cannot hide here.
extern const CLSID kShellExtClassId;

// A build-time path ("Z:/work/...") as the programs under Wine see it.
std::wstring TargetPath(const char* path);

// Owns one COM reference.
template <class T>
class ComRef final {
public:
    ComRef() = default;
    explicit ComRef(T* p) : p_(p) {}
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : p_(other.Detach()) {}
    ~ComRef() { Reset(); }
    void Reset() {
        if (p_ != nullptr) p_->Release();
        p_ = nullptr;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    // For out parameters: releases what is held first.
    void** Out() {
        Reset();
        return reinterpret_cast<void**>(&p_);
    }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

// The module and its two exports.
class ShellExtModule final {
public:
    explicit ShellExtModule(const std::wstring& path);
    ShellExtModule(const ShellExtModule&) = delete;
    ShellExtModule& operator=(const ShellExtModule&) = delete;
    ~ShellExtModule();

    bool Loaded() const { return getClassObject_ != nullptr && canUnloadNow_ != nullptr; }
    HMODULE Handle() const { return module_; }
    HRESULT GetClassObject(REFCLSID classId, REFIID riid, void** object) const {
        return getClassObject_(classId, riid, object);
    }
    HRESULT CanUnloadNow() const { return canUnloadNow_(); }

private:
    HMODULE module_ = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow_)() = nullptr;
};

// TDShellExt64.dll of this tree, loaded once per test program.
ShellExtModule& TheModule();
std::wstring ModulePath64();
// TDShellExt.dll of the sibling 32-bit tree; empty when it is not built.
std::wstring ModulePath32();

// A fresh CShellExt through DllGetClassObject and CreateInstance, asked for
// riid; null (with a test failure) when anything refuses.
void* CreateShellExtRaw(REFIID riid);
template <class T>
T* CreateShellExt(REFIID riid) {
    return static_cast<T*>(CreateShellExtRaw(riid));
}

// A data object that offers the dropped-file list of the given paths, the
// way the file manager hands a selection to Initialize. It counts its own
// references and the media it gives out and gets back.
class DropDataObject final : public IDataObject {
public:
    // offerDropList false: the object has no CF_HDROP to give.
    explicit DropDataObject(std::vector<std::wstring> paths, bool offerDropList = true);
    DropDataObject(const DropDataObject&) = delete;
    DropDataObject& operator=(const DropDataObject&) = delete;

    LONG References() const { return refs_; }
    int MediaGiven() const { return given_; }
    int MediaReleased() const { return released_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    void MediumReturned() { ++released_; }

private:
    ~DropDataObject() = default;

    std::vector<std::wstring> paths_;
    bool offerDropList_;
    LONG refs_ = 1;
    int given_ = 0;
    int released_ = 0;
};

// Creates a data object for paths, hands it to Initialize of ext and drops
// the test's own reference. Returns Initialize's result.
HRESULT InitializeWith(IShellExtInit* ext, const std::vector<std::wstring>& paths);

// Whether QueryContextMenu adds an item for paths, and which: 0 none,
// 1 Compress, 2 Decompress (the code field of its result).
int MenuItemsFor(const std::vector<std::wstring>& paths);

// A registry key made for a test: created if missing, and on destruction
// deleted with everything below it when the test created it.
class ScratchKey final {
public:
    ScratchKey(HKEY root, const std::wstring& path);
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    ~ScratchKey();

    bool Ok() const { return key_ != nullptr; }
    HKEY Get() const { return key_; }
    bool SetString(const wchar_t* name, const std::wstring& data, DWORD type = REG_SZ);
    bool SetBytes(const wchar_t* name, const void* data, DWORD bytes, DWORD type);

private:
    HKEY root_;
    std::wstring path_;
    HKEY key_ = nullptr;
    bool created_ = false;
};

// The value CurrentDrive under one hive, as the tray program keeps it. The
// constructor removes what is there; the destructor removes what the test
// wrote and the keys it had to create.
class CurrentDriveFixture final {
public:
    explicit CurrentDriveFixture(HKEY hive);
    CurrentDriveFixture(const CurrentDriveFixture&) = delete;
    CurrentDriveFixture& operator=(const CurrentDriveFixture&) = delete;
    ~CurrentDriveFixture();

    // Drive names, each written with its NUL, then one more NUL.
    bool SetDrives(const std::vector<std::wstring>& drives);
    bool SetRaw(const void* data, DWORD bytes, DWORD type);
    void RemoveValue();
    // Removes the program key, leaving the maker key.
    void RemoveProgramKey();

private:
    HKEY hive_;
    bool makerKeyExisted_;
    bool programKeyExisted_;
};

// The tray program's executable replaced by a recorder for one test: the
// recorder is copied to the path the extension is expected to start, and
// each start writes its command line to a file of its own.
class RecorderAtInstallPath final {
public:
    explicit RecorderAtInstallPath(const std::wstring& executablePath);
    RecorderAtInstallPath(const RecorderAtInstallPath&) = delete;
    RecorderAtInstallPath& operator=(const RecorderAtInstallPath&) = delete;
    ~RecorderAtInstallPath();

    bool Ok() const { return ok_; }
    // Waits up to timeoutMs until count starts have been recorded and
    // returns the command-line tails after the program name, in no order.
    std::vector<std::wstring> WaitForStarts(size_t count, DWORD timeoutMs = 15000) const;
    // The starts recorded so far.
    std::vector<std::wstring> Starts() const;
    // Removes the recorder, as if the program was never installed.
    void RemoveExecutable();

private:
    std::wstring executable_;
    std::wstring recordDir_;
    std::vector<std::wstring> createdDirs_;
    bool ok_ = false;
};

// The command-line tail after the (possibly quoted) program name and the
// blanks after it.
std::wstring CommandLineTail(const std::wstring& commandLine);

// The installed executable as the extension is expected to compute it in
// this (64-bit) process on the NT 6 family.
std::wstring ExpectedNt6Executable();

// An invocation record for a verb given as 8-bit string or offset.
CMINVOKECOMMANDINFO InvocationA(const char* verb);

// UTF-8 for failure messages.
std::string Narrow(const std::wstring& text);

// Reads a whole UTF-16 file.
std::wstring ReadUtf16File(const std::wstring& path);
