#include "app/install_paths.h"

#include <shlobj.h>

#include <cwchar>

#include "base/platform_facts.h"
#include "base/win_handle.h"

namespace {

// The tray program is a 32-bit program: its 64-bit twin (tests only)
// installs where the 32-bit program would, which is also where the 64-bit
// shell extension looks for it.
#ifdef _WIN64
constexpr int kProgramFilesOfTrayProgram = CSIDL_PROGRAM_FILESX86;
#else
constexpr int kProgramFilesOfTrayProgram = CSIDL_PROGRAM_FILES;
#endif

bool Expand(const wchar_t* text, wchar_t (&path)[MAX_PATH])
{
    const DWORD needed = ::ExpandEnvironmentStringsW(text, path, MAX_PATH);
    if (needed == 0 || needed > MAX_PATH) {
        path[0] = L'\0';
        return false;
    }
    return true;
}

bool FileIdentity(const wchar_t* path, BY_HANDLE_FILE_INFORMATION& info)
{
    FileHandle file(::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.Valid() && ::GetFileInformationByHandle(file.Get(), &info);
}

}  // namespace

bool AppendToPath(wchar_t (&path)[MAX_PATH], const wchar_t* tail)
{
    const size_t length = wcsnlen(path, MAX_PATH);
    const size_t add = std::wcslen(tail);
    if (length >= MAX_PATH || add >= MAX_PATH - length)
        return false;
    std::wmemcpy(path + length, tail, add + 1);
    return true;
}

bool RunningExecutablePath(wchar_t (&path)[MAX_PATH])
{
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        path[0] = L'\0';
        return false;
    }
    path[length] = L'\0';
    return true;
}

bool InstallationFolder(wchar_t (&folder)[MAX_PATH])
{
    folder[0] = L'\0';
    if (!IsNt6Family())
        return Expand(L"%SystemRoot%\\system32\\Tandrel", folder);
    const int base = IsUserAdmin() ? kProgramFilesOfTrayProgram : CSIDL_LOCAL_APPDATA;
    if (FAILED(::SHGetFolderPathW(nullptr, base, nullptr, SHGFP_TYPE_CURRENT, folder)) ||
        !AppendToPath(folder, L"\\Velmora Corporation\\Tandrel")) {
        folder[0] = L'\0';
        return false;
    }
    return true;
}

bool InstalledExecutablePath(wchar_t (&path)[MAX_PATH])
{
    if (InstallationFolder(path) && AppendToPath(path, L"\\Tandrel.exe"))
        return true;
    path[0] = L'\0';
    return false;
}

bool IsSameFile(const wchar_t* first, const wchar_t* second)
{
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    if (FileIdentity(first, a) && FileIdentity(second, b))
        return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
               a.nFileIndexLow == b.nFileIndexLow;
    wchar_t longFirst[MAX_PATH], longSecond[MAX_PATH];
    LongPathOf(first, longFirst);
    LongPathOf(second, longSecond);
    return ::lstrcmpiW(longFirst, longSecond) == 0;
}

void LongPathOf(const wchar_t* path, wchar_t (&longPath)[MAX_PATH])
{
    const DWORD length = ::GetLongPathNameW(path, longPath, MAX_PATH);
    if (length != 0 && length < MAX_PATH)
        return;
    const size_t copy = wcsnlen(path, MAX_PATH - 1);
    std::wmemcpy(longPath, path, copy);
    longPath[copy] = L'\0';
}
