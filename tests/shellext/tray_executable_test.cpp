// The pieces of the extension whose answers depend on the caller's rights or
// on hostile registry data, tested on the code directly: Wine always runs
// programs as an administrator, and the module shows these only indirectly.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <climits>
#include <string>

#include "shellext/icon_location.h"
#include "shellext/target_drives.h"
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

TEST(DriveList, StaysWithinTheUnitsItIsGiven) {
    const wchar_t list[] = {L'D', L':', 0, L'E', L':', L'X', L'Y'};
    EXPECT_TRUE(DriveListHolds(list, 7, L"d:"));
    EXPECT_FALSE(DriveListHolds(list, 7, L"E:"));   // "E:XY" is no drive name
    EXPECT_TRUE(DriveListHolds(list, 5, L"E:"));    // cut to its five units
    EXPECT_FALSE(DriveListHolds(list, 0, L"D:"));
    EXPECT_FALSE(DriveListHolds(list, 7, L""));

    wchar_t drive[3];
    DrivePartOf(L"\\\\server\\share\\a.txt", drive);
    EXPECT_STREQ(L"", drive);
    DrivePartOf(L"e:", drive);
    EXPECT_STREQ(L"e:", drive);
    DrivePartOf(L"", drive);
    EXPECT_STREQ(L"", drive);
}

TEST(IconSpecification, IndexAsPercentLdReadsIt) {
    wchar_t spec[] = L"C:\\a,b\\icons.dll, -17";
    EXPECT_EQ(-17, SplitIconIndex(spec));
    EXPECT_STREQ(L"C:\\a,b\\icons.dll", spec);
    wchar_t big[] = L"x.dll,99999999999";
    EXPECT_EQ(INT_MAX, SplitIconIndex(big));
    wchar_t word[] = L"x.dll,first";
    EXPECT_EQ(0, SplitIconIndex(word));
    EXPECT_STREQ(L"x.dll", word);
    wchar_t none[] = L"x.dll";
    EXPECT_EQ(0, SplitIconIndex(none));
    EXPECT_STREQ(L"x.dll", none);

    wchar_t quoted[] = L"\"a b\"";
    StripEnclosingQuotes(quoted);
    EXPECT_STREQ(L"a b", quoted);
    wchar_t pair[] = L"\"\"";
    StripEnclosingQuotes(pair);
    EXPECT_STREQ(L"", pair);
    wchar_t half[] = L"\"a b";
    StripEnclosingQuotes(half);
    EXPECT_STREQ(L"\"a b", half);
}

TEST(IconSpecification, StoredExtensionSitsBeforeTheLastFourCharacters) {
    wchar_t ext[MAX_PATH];
    ASSERT_TRUE(StoredExtensionOf(L"C:\\d\\report.doc.tdz", ext));
    EXPECT_STREQ(L".doc", ext);
    ASSERT_TRUE(StoredExtensionOf(L"a..tdz", ext));
    EXPECT_STREQ(L".", ext);
    EXPECT_FALSE(StoredExtensionOf(L".tdz", ext));
    EXPECT_FALSE(StoredExtensionOf(L"x.tdz", ext));
    EXPECT_FALSE(StoredExtensionOf(L"C:\\a.b\\c.tdz", ext));
    EXPECT_FALSE(StoredExtensionOf(nullptr, ext));
}

}  // namespace
