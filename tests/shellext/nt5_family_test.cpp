// The extension on the NT 5 family keeps to the machine: the drive list
// under HKLM and the tray program in "%SystemRoot%\system32\Tandrel". Wine
// reports whatever version a program's AppDefaults entry names, so this
// program asks for Windows XP x64 for itself and starts itself again before
// any test runs.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>

#include "shellext_test_support.h"

namespace {

const wchar_t kRelaunchMarker[] = L"TDZ_POSING_AS_NT5";

DWORD MajorVersion() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    return GetVersionExW(&version) ? version.dwMajorVersion : 0;
}

void MakeInheritable(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
}

// Runs before main: asks for the older version and runs this program again
// with the same command line and standard handles, ending with its status.
// On a system that does not honour the request the relaunched program sees
// the marker, does not relaunch again and its tests skip.
struct RelaunchAsNt5 {
    RelaunchAsNt5() {
        if (MajorVersion() != 6) return;
        wchar_t marker[4];
        if (GetEnvironmentVariableW(kRelaunchMarker, marker, 4) != 0) return;
        wchar_t self[MAX_PATH];
        if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return;
        const std::wstring keyPath = std::wstring(L"Software\\Wine\\AppDefaults\\") + PathFindFileNameW(self);
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            return;
        }
        static const wchar_t kVersion[] = L"winxp64";
        RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kVersion), sizeof(kVersion));
        RegCloseKey(key);

        SetEnvironmentVariableW(kRelaunchMarker, L"1");
        MakeInheritable(STD_INPUT_HANDLE);
        MakeInheritable(STD_OUTPUT_HANDLE);
        MakeInheritable(STD_ERROR_HANDLE);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION process = {};
        std::wstring commandLine = GetCommandLineW();
        if (!CreateProcessW(self, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &process)) {
            return;
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 1;
        GetExitCodeProcess(process.hProcess, &status);
        ExitProcess(status);
    }
} relaunchAsNt5;

class Nt5FamilyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (MajorVersion() != 5) GTEST_SKIP() << "this system cannot pose as an NT 5 system";
    }
};

TEST_F(Nt5FamilyTest, DriveListIsReadFromTheMachineHive) {
    CurrentDriveFixture userDrives(HKEY_CURRENT_USER);
    CurrentDriveFixture machineDrives(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(userDrives.SetDrives({L"E:"}));
    EXPECT_EQ(0, MenuItemsFor({L"E:\\a.txt"}));
    ASSERT_TRUE(machineDrives.SetDrives({L"F:", L"E:"}));
    EXPECT_EQ(1, MenuItemsFor({L"E:\\a.txt"}));
    EXPECT_EQ(2, MenuItemsFor({L"C:\\a.txt.tdz"}));
}

TEST_F(Nt5FamilyTest, StartsTheProgramInTheSystemFolder) {
    wchar_t executable[MAX_PATH];
    ASSERT_GT(ExpandEnvironmentStringsW(L"%SystemRoot%\\system32\\Tandrel\\Tandrel.exe", executable, MAX_PATH), 0u);
    RecorderAtInstallPath recorder(executable);
    ASSERT_TRUE(recorder.Ok());

    ComRef<IContextMenu> menu(CreateShellExt<IContextMenu>(IID_IContextMenu));
    ASSERT_NE(nullptr, menu.Get());
    ComRef<IShellExtInit> init;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, init.Out()));
    ASSERT_EQ(S_OK, InitializeWith(init.Get(), {L"C:\\Documents and Settings\\me\\a b.doc.tdz"}));
    CMINVOKECOMMANDINFO info = InvocationA("td_decompress");
    EXPECT_EQ(S_OK, menu->InvokeCommand(&info));
    const auto starts = recorder.WaitForStarts(1);
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"-d C:\\Documents and Settings\\me\\a b.doc.tdz", starts[0]);
}

}  // namespace
