// Where the extension looks for the tray program, tested on the code
// directly: Wine runs every program as an administrator, so the module
// itself only ever shows the administrator's answer.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "shellext/tray_executable.h"

namespace {

std::wstring Folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return L"<none>";
    return path;
}

TEST(TrayExecutable, FollowsTheOsFamilyAndTheCallersRights) {
    const std::wstring tail = L"\\Velmora Corporation\\Tandrel\\Tandrel.exe";
    wchar_t path[MAX_PATH];
    ASSERT_TRUE(TrayExecutablePath(true, false, path));
    EXPECT_EQ(Folder(CSIDL_LOCAL_APPDATA) + tail, path);

    // The tray program is a 32-bit program, so an administrator's copy is in
    // the 32-bit program-files folder, also when a 64-bit process asks.
    ASSERT_TRUE(TrayExecutablePath(true, true, path));
    EXPECT_EQ(Folder(CSIDL_PROGRAM_FILESX86) + tail, path);
    EXPECT_NE(Folder(CSIDL_PROGRAM_FILES) + tail, path) << "no separate 64-bit folder here";

    wchar_t system[MAX_PATH];
    ASSERT_GT(ExpandEnvironmentStringsW(L"%SystemRoot%", system, MAX_PATH), 0u);
    for (bool administrator : {false, true}) {
        ASSERT_TRUE(TrayExecutablePath(false, administrator, path));
        EXPECT_EQ(std::wstring(system) + L"\\system32\\Tandrel\\Tandrel.exe", path);
    }
}

}  // namespace
