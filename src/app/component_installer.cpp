#include "app/component_installer.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "app/install_paths.h"
#include "app/startup_messages.h"
#include "base/platform_facts.h"
#include "base/win_handle.h"
#include "common/resource_ids.h"
#include "ui/text.h"

namespace {

constexpr DWORD kIoChunk = 1u << 20;

// The 64-bit server belongs on 64-bit systems: a 32-bit program learns that
// it runs on one from WOW64, a 64-bit one (the tests' twin) knows it.
bool OnSixtyFourBitSystem()
{
    return sizeof(void*) == 8 || IsWow64();
}

bool ReadWholeFile(const wchar_t* path, std::vector<unsigned char>& bytes)
{
    FileHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7FFFFFFF)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kIoChunk));
        if (!::ReadFile(file.Get(), bytes.data() + done, want, &got, nullptr) || got == 0)
            return false;
        done += got;
    }
    return true;
}

bool HoldsExactly(const wchar_t* path, const void* bytes, size_t size)
{
    std::vector<unsigned char> present;
    return ReadWholeFile(path, present) && present.size() == size &&
           (size == 0 || std::memcmp(present.data(), bytes, size) == 0);
}

bool WriteNewFile(const wchar_t* path, const void* bytes, size_t size)
{
    FileHandle file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file.Valid())
        return false;
    const auto* at = static_cast<const unsigned char*>(bytes);
    size_t done = 0;
    while (done < size) {
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(size - done, kIoChunk));
        if (!::WriteFile(file.Get(), at + done, want, &put, nullptr) || put == 0)
            return false;
        done += put;
    }
    return ::FlushFileBuffers(file.Get()) != FALSE;
}

// The resource's bytes, or null.
const void* EmbeddedServer(WORD id, DWORD& size)
{
    size = 0;
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"EXT_DATA");
    HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (bytes)
        size = ::SizeofResource(nullptr, found);
    return size ? bytes : nullptr;
}

// A missing resource is passed over like a file that cannot be written.
void WriteServer(WORD id, const wchar_t* target)
{
    DWORD size = 0;
    if (const void* bytes = EmbeddedServer(id, size))
        WriteComponent(target, bytes, size);
}

bool CreateFolderOrExisting(const wchar_t* folder, bool withParents)
{
    if (withParents) {
        const int error = ::SHCreateDirectoryExW(nullptr, folder, nullptr);
        return error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    }
    return ::CreateDirectoryW(folder, nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool InstallNt6(const wchar_t* running, const wchar_t* folder)
{
    wchar_t executable[MAX_PATH] = {}, server32[MAX_PATH] = {}, server64[MAX_PATH] = {};
    const size_t length = wcsnlen(folder, MAX_PATH);
    if (length >= MAX_PATH) {
        ShowStartupFailure(kStepInstallFolder);
        return false;
    }
    std::wmemcpy(executable, folder, length + 1);
    std::wmemcpy(server32, folder, length + 1);
    std::wmemcpy(server64, folder, length + 1);
    if (!AppendToPath(executable, L"\\Tandrel.exe") || !AppendToPath(server32, L"\\TDShellExt.dll") ||
        !AppendToPath(server64, L"\\TDShellExt64.dll") || !CreateFolderOrExisting(folder, true)) {
        ShowStartupFailure(kStepInstallFolder);
        return false;
    }
    CopyComponent(running, executable);
    if (OnSixtyFourBitSystem())
        WriteServer(kServer64Resource, server64);
    WriteServer(kServer32Resource, server32);
    return true;
}

bool InstallNt5(const wchar_t* running, const wchar_t* executable)
{
    wchar_t folder[MAX_PATH];
    const DWORD folderLength = ::ExpandEnvironmentStringsW(L"%SystemRoot%\\system32\\Tandrel", folder, MAX_PATH);
    if (folderLength == 0 || folderLength > MAX_PATH) {
        ShowStartupFailure(kStepInstallFolderPath);
        return false;
    }
    if (!CreateFolderOrExisting(folder, false)) {
        ShowStartupFailure(kStepInstallFolder);
        return false;
    }
    CopyComponent(running, executable);
    wchar_t server[MAX_PATH];
    const DWORD serverLength =
        ::ExpandEnvironmentStringsW(L"%SystemRoot%\\system32\\Tandrel\\TDShellExt.dll", server, MAX_PATH);
    if (serverLength == 0 || serverLength > MAX_PATH) {
        const std::wstring failed = FormatText(L"%s (%04X)", LoadText(IDS_STARTUP_FAILED).c_str(),
                                               static_cast<unsigned>(kStepServerPath));
        ShowFrameworkError(failed.c_str());
        return false;
    }
    WriteServer(kServer32Resource, server);
    return true;
}

}  // namespace

bool WriteComponent(const wchar_t* target, const void* bytes, size_t size)
{
    const bool existed = ::SetFileAttributesW(target, FILE_ATTRIBUTE_NORMAL) != FALSE;
    if (existed && HoldsExactly(target, bytes, size))
        return true;
    wchar_t beside[MAX_PATH];
    const size_t length = wcsnlen(target, MAX_PATH);
    if (length >= MAX_PATH)
        return false;
    std::wmemcpy(beside, target, length + 1);
    if (!AppendToPath(beside, L".tmp"))
        return false;
    if (!WriteNewFile(beside, bytes, size) ||
        !::MoveFileExW(beside, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::SetFileAttributesW(beside, FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(beside);
        return false;
    }
    ::SetFileAttributesW(target, FILE_ATTRIBUTE_NORMAL);
    ::SHChangeNotify(existed ? SHCNE_UPDATEITEM : SHCNE_CREATE, SHCNF_PATHW, target, nullptr);
    return true;
}

bool CopyComponent(const wchar_t* source, const wchar_t* target)
{
    std::vector<unsigned char> bytes;
    return ReadWholeFile(source, bytes) && WriteComponent(target, bytes.data(), bytes.size());
}

bool InstallComponents(const wchar_t* runningExecutable, const wchar_t* destination)
{
    return IsNt6Family() ? InstallNt6(runningExecutable, destination) : InstallNt5(runningExecutable, destination);
}
