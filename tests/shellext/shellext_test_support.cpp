#include "shellext_test_support.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>

const CLSID kShellExtClassId = {
    0x5B1F3C2E, 0x8D47, 0x4A9B, {0x9E, 0x21, 0x6C, 0x0D, 0x7F, 0x4A, 0x1B, 0x93}};

std::wstring TargetPath(const char* path) {
    std::wstring out;
    for (const char* p = path; *p != '\0'; ++p) out += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes,
                        nullptr, nullptr);
    return out;
}

ShellExtModule::ShellExtModule(const std::wstring& path) {
    module_ = LoadLibraryW(path.c_str());
    if (module_ == nullptr) return;
    getClassObject_ = reinterpret_cast<decltype(getClassObject_)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    canUnloadNow_ = reinterpret_cast<decltype(canUnloadNow_)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
}

ShellExtModule::~ShellExtModule() {
    if (module_ != nullptr) FreeLibrary(module_);
}

std::wstring ModulePath64() { return TargetPath(TDZ_SHELLEXT64_DLL); }

std::wstring ModulePath32() {
    const std::wstring path = TargetPath(TDZ_SHELLEXT32_DLL);
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? std::wstring() : path;
}

ShellExtModule& TheModule() {
    static ShellExtModule module(ModulePath64());
    return module;
}

void* CreateShellExtRaw(REFIID riid) {
    ShellExtModule& module = TheModule();
    if (!module.Loaded()) {
        ADD_FAILURE() << "TDShellExt64.dll did not load from " << TDZ_SHELLEXT64_DLL;
        return nullptr;
    }
    ComRef<IClassFactory> factory;
    HRESULT hr = module.GetClassObject(kShellExtClassId, IID_IClassFactory, factory.Out());
    if (FAILED(hr)) {
        ADD_FAILURE() << "DllGetClassObject: 0x" << std::hex << hr;
        return nullptr;
    }
    void* object = nullptr;
    hr = factory->CreateInstance(nullptr, riid, &object);
    if (FAILED(hr)) {
        ADD_FAILURE() << "CreateInstance: 0x" << std::hex << hr;
        return nullptr;
    }
    return object;
}

// --- DropDataObject ---

namespace {

// Handed out as the medium's release object: ReleaseStgMedium calls its
// Release instead of freeing the list, which lets the test count returns.
class MediumReturn final : public IUnknown {
public:
    MediumReturn(DropDataObject* owner, HGLOBAL list) : owner_(owner), list_(list) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
        *object = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            owner_->MediumReturned();
            GlobalFree(list_);
            delete this;
        }
        return left;
    }

private:
    DropDataObject* owner_;
    HGLOBAL list_;
    ULONG refs_ = 1;
};

HGLOBAL MakeDropList(const std::vector<std::wstring>& paths) {
    size_t units = 1;
    for (const auto& p : paths) units += p.size() + 1;
    const size_t bytes = sizeof(DROPFILES) + units * sizeof(wchar_t);
    HGLOBAL list = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (list == nullptr) return nullptr;
    auto* header = static_cast<DROPFILES*>(GlobalLock(list));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES));
    for (const auto& p : paths) {
        std::memcpy(names, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
        names += p.size() + 1;
    }
    *names = L'\0';
    GlobalUnlock(list);
    return list;
}

bool IsDropListRequest(const FORMATETC* format) {
    return format != nullptr && format->cfFormat == CF_HDROP && format->ptd == nullptr &&
           format->dwAspect == DVASPECT_CONTENT && format->lindex == -1 &&
           (format->tymed & TYMED_HGLOBAL) != 0;
}

}  // namespace

DropDataObject::DropDataObject(std::vector<std::wstring> paths, bool offerDropList)
    : paths_(std::move(paths)), offerDropList_(offerDropList) {}

STDMETHODIMP DropDataObject::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDataObject)) return E_NOINTERFACE;
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) DropDataObject::AddRef() { return static_cast<ULONG>(++refs_); }

STDMETHODIMP_(ULONG) DropDataObject::Release() {
    const LONG left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP DropDataObject::QueryGetData(FORMATETC* format) {
    return offerDropList_ && IsDropListRequest(format) ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP DropDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
    if (out != nullptr) out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP DropDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (medium == nullptr) return E_INVALIDARG;
    *medium = {};
    if (!offerDropList_ || !IsDropListRequest(format)) return DV_E_FORMATETC;
    HGLOBAL list = MakeDropList(paths_);
    if (list == nullptr) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = list;
    medium->pUnkForRelease = new MediumReturn(this, list);
    ++given_;
    return S_OK;
}

HRESULT InitializeWith(IShellExtInit* ext, const std::vector<std::wstring>& paths) {
    auto* data = new DropDataObject(paths);
    const HRESULT hr = ext->Initialize(nullptr, data, nullptr);
    EXPECT_EQ(data->MediaGiven(), data->MediaReleased()) << "a medium was kept";
    data->Release();
    return hr;
}

int MenuItemsFor(const std::vector<std::wstring>& paths) {
    ComRef<IShellExtInit> init(CreateShellExt<IShellExtInit>(IID_IShellExtInit));
    if (init.Get() == nullptr) return -1;
    EXPECT_EQ(S_OK, InitializeWith(init.Get(), paths));
    ComRef<IContextMenu> menu;
    EXPECT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, menu.Out()));
    HMENU popup = CreatePopupMenu();
    const HRESULT hr = menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
    DestroyMenu(popup);
    EXPECT_TRUE(SUCCEEDED(hr));
    return HRESULT_CODE(hr);
}

// --- Registry fixtures ---

ScratchKey::ScratchKey(HKEY root, const std::wstring& path) : root_(root), path_(path) {
    DWORD disposition = 0;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                        &disposition) != ERROR_SUCCESS) {
        key_ = nullptr;
        return;
    }
    created_ = disposition == REG_CREATED_NEW_KEY;
}

ScratchKey::~ScratchKey() {
    if (key_ != nullptr) RegCloseKey(key_);
    if (created_) RegDeleteTreeW(root_, path_.c_str());
}

bool ScratchKey::SetString(const wchar_t* name, const std::wstring& data, DWORD type) {
    return SetBytes(name, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)), type);
}

bool ScratchKey::SetBytes(const wchar_t* name, const void* data, DWORD bytes, DWORD type) {
    return key_ != nullptr &&
           RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), bytes) == ERROR_SUCCESS;
}

namespace {

const wchar_t kMakerKey[] = L"SOFTWARE\\Velmora Corporation";
const wchar_t kProgramKey[] = L"SOFTWARE\\Velmora Corporation\\Tandrel";

bool KeyExists(HKEY hive, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

CurrentDriveFixture::CurrentDriveFixture(HKEY hive)
    : hive_(hive), makerKeyExisted_(KeyExists(hive, kMakerKey)),
      programKeyExisted_(KeyExists(hive, kProgramKey)) {
    RemoveValue();
}

CurrentDriveFixture::~CurrentDriveFixture() {
    RemoveValue();
    if (!programKeyExisted_) RegDeleteTreeW(hive_, kProgramKey);
    if (!makerKeyExisted_) RegDeleteTreeW(hive_, kMakerKey);
}

bool CurrentDriveFixture::SetRaw(const void* data, DWORD bytes, DWORD type) {
    HKEY key = nullptr;
    // Volatile, as the tray program creates it.
    if (RegCreateKeyExW(hive_, kProgramKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok = RegSetValueExW(key, L"CurrentDrive", 0, type, static_cast<const BYTE*>(data),
                                   bytes) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool CurrentDriveFixture::SetDrives(const std::vector<std::wstring>& drives) {
    std::wstring value;
    for (const auto& d : drives) {
        value += d;
        value += L'\0';
    }
    value += L'\0';
    return SetRaw(value.data(), static_cast<DWORD>(value.size() * sizeof(wchar_t)), REG_MULTI_SZ);
}

void CurrentDriveFixture::RemoveValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive_, kProgramKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"CurrentDrive");
        RegCloseKey(key);
    }
}

void CurrentDriveFixture::RemoveProgramKey() { RegDeleteTreeW(hive_, kProgramKey); }

// --- The recorder at the installation path ---

namespace {

std::wstring ParentOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::vector<std::wstring> FilesIn(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"\\*.txt").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(dir + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

}  // namespace

std::wstring ReadUtf16File(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::wstring();
    std::wstring text;
    wchar_t buffer[1024];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        text.append(buffer, got / sizeof(wchar_t));
    }
    CloseHandle(file);
    return text;
}

RecorderAtInstallPath::RecorderAtInstallPath(const std::wstring& executablePath)
    : executable_(executablePath) {
    // Create the missing folders from the top down, remembering them.
    std::vector<std::wstring> missing;
    for (std::wstring dir = ParentOf(executablePath); !dir.empty() && dir.size() > 3;
         dir = ParentOf(dir)) {
        if (GetFileAttributesW(dir.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        missing.push_back(dir);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!CreateDirectoryW(it->c_str(), nullptr)) return;
        createdDirs_.push_back(*it);
    }
    if (!CopyFileW(TargetPath(TDZ_RECORDER_EXE).c_str(), executable_.c_str(), FALSE)) return;

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    recordDir_ = std::wstring(temp) + L"tdz_shellext_starts_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(recordDir_.c_str(), nullptr);
    for (const auto& f : FilesIn(recordDir_)) DeleteFileW(f.c_str());
    // The started program inherits this process's environment.
    SetEnvironmentVariableW(L"TDZ_RECORD_DIR", recordDir_.c_str());
    ok_ = true;
}

RecorderAtInstallPath::~RecorderAtInstallPath() {
    RemoveExecutable();
    for (auto it = createdDirs_.rbegin(); it != createdDirs_.rend(); ++it) {
        RemoveDirectoryW(it->c_str());
    }
    if (!recordDir_.empty()) {
        for (const auto& f : FilesIn(recordDir_)) DeleteFileW(f.c_str());
        RemoveDirectoryW(recordDir_.c_str());
    }
    SetEnvironmentVariableW(L"TDZ_RECORD_DIR", nullptr);
}

void RecorderAtInstallPath::RemoveExecutable() {
    // A start may still hold the file for a moment.
    for (int i = 0; i < 50; ++i) {
        if (DeleteFileW(executable_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return;
        Sleep(100);
    }
}

std::vector<std::wstring> RecorderAtInstallPath::Starts() const {
    std::vector<std::wstring> tails;
    for (const auto& f : FilesIn(recordDir_)) tails.push_back(CommandLineTail(ReadUtf16File(f)));
    return tails;
}

std::vector<std::wstring> RecorderAtInstallPath::WaitForStarts(size_t count, DWORD timeoutMs) const {
    const DWORD start = GetTickCount();
    while (FilesIn(recordDir_).size() < count && GetTickCount() - start < timeoutMs) Sleep(20);
    return Starts();
}

std::wstring CommandLineTail(const std::wstring& commandLine) {
    size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        i = commandLine.find(L'"', 1);
        i = (i == std::wstring::npos) ? commandLine.size() : i + 1;
    } else {
        while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t') ++i;
    }
    while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
    return commandLine.substr(i);
}

std::wstring ExpectedNt6Executable() {
    // An administrator's tray program (a 32-bit program) lives in the
    // program-files folder of 32-bit programs; a standard user's in the
    // local application-data folder.
    wchar_t base[MAX_PATH] = {};
    const int folder = IsUserAnAdmin() ? CSIDL_PROGRAM_FILESX86 : CSIDL_LOCAL_APPDATA;
    if (FAILED(SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, base))) return L"";
    return std::wstring(base) + L"\\Velmora Corporation\\Tandrel\\Tandrel.exe";
}

CMINVOKECOMMANDINFO InvocationA(const char* verb) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = verb;
    info.nShow = SW_SHOWNORMAL;
    return info;
}
