#include "shellext/tray_executable.h"

#include <shlobj.h>
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace {

// The tray program is a 32-bit program: an administrator's copy lives in
// the program-files folder of 32-bit programs. A 64-bit file manager asking
// for CSIDL_PROGRAM_FILES would get the 64-bit folder and start nothing.
#ifdef _WIN64
constexpr int kProgramFilesOfTrayProgram = CSIDL_PROGRAM_FILESX86;
#else
constexpr int kProgramFilesOfTrayProgram = CSIDL_PROGRAM_FILES;
#endif

}  // namespace

bool TrayExecutablePath(bool nt6Family, bool administrator, wchar_t (&path)[MAX_PATH]) {
    path[0] = L'\0';
    if (!nt6Family) {
        const DWORD needed = ExpandEnvironmentStringsW(
            L"%SystemRoot%\\system32\\Tandrel\\Tandrel.exe", path, MAX_PATH);
        if (needed == 0 || needed > MAX_PATH) {
            path[0] = L'\0';
            return false;
        }
        return true;
    }
    const int folder = administrator ? kProgramFilesOfTrayProgram : CSIDL_LOCAL_APPDATA;
    if (FAILED(SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path)) ||
        FAILED(StringCchCatW(path, MAX_PATH, L"\\Velmora Corporation\\Tandrel")) ||
        FAILED(StringCchCatW(path, MAX_PATH, L"\\Tandrel.exe"))) {
        path[0] = L'\0';
        return false;
    }
    return true;
}
