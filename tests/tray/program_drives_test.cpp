// The tray program as a user meets it: the 64-bit twin started as a process
// (it installs itself and starts the installed copy), its USB tree played
// from a script file in which the removable test drive is a supported stick
// and a second removable drive a stick of another model.
#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "drives/drive_detection.h"
#include "file_test_util.h"
#include "scripted_system.h"
#include "tandrel_process.h"
#include "tray/main_frame.h"
#include "window_probe.h"

namespace {

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring CurrentDrive()
{
    return ReadRegistryValue(HKEY_CURRENT_USER, kProgramKey, kCurrentDriveValue).data;
}

class TrayProgram : public ::testing::Test {
protected:
    std::wstring target = L"" TDZ_TEST_TARGET_DRIVE;
    std::wstring spare = L"" TDZ_TEST_SPARE_DRIVE;
    std::wstring other = L"" TDZ_TEST_OTHER_DRIVE;
    TestFolder folder;
    std::wstring script;

    void SetUp() override
    {
        if (::GetDriveTypeW((target + L"\\").c_str()) != DRIVE_REMOVABLE ||
            ::GetDriveTypeW((spare + L"\\").c_str()) != DRIVE_REMOVABLE)
            GTEST_SKIP() << "test drives are not mapped (run through ctest, fixture map_test_drives)";
        for (const std::wstring& drive : {target, spare, other}) {
            for (const std::wstring& name : ListNames(drive + L"\\", L"*"))
                ::DeleteFileW((drive + L"\\" + name).c_str());
        }
        script = folder / L"usb-tree.txt";
        WriteTree(true);
        ::SetEnvironmentVariableW(L"TDZ_DEVICE_TREE", script.c_str());
        ::SetEnvironmentVariableW(L"TDZ_PLATFORM_FACTS", L"6.1,1,0");  // an administrator: no question at start
        ASSERT_TRUE(StopTray());
    }
    void TearDown() override
    {
        StopTray();
        ::SetEnvironmentVariableW(L"TDZ_DEVICE_TREE", nullptr);
        ::SetEnvironmentVariableW(L"TDZ_PLATFORM_FACTS", nullptr);
    }
    void WriteTree(bool withStick)
    {
        std::string text;
        if (withStick)
            text += "USB\\Vid_1F3A&Pid_0101&Rev_0100 " + Narrow(target.substr(0, 1)) + " 2\n";
        text += "USB\\Vid_0BDA&Pid_0129&Rev_3960 " + Narrow(spare.substr(0, 1)) + " 4\n";
        ASSERT_TRUE(WriteBytes(script, Bytes(text.begin(), text.end())));
    }
};

TEST_F(TrayProgram, FindsTheStickCompressesItAloneAndFollowsDeviceChanges)
{
    Process first = Start(TDZ_TANDREL_EXE, L"");
    ASSERT_TRUE(first.handle.Valid());
    ASSERT_TRUE(probe::WaitUntil([] { return TrayFrame() != nullptr; }, 60000));
    const std::wstring published = target + std::wstring(2, L'\0');
    ASSERT_TRUE(probe::WaitUntil([&] { return CurrentDrive() == published; }, 30000))
        << probe::Narrow(CurrentDrive());

    // The watcher starts after the value is written: probe files until one
    // is compressed, so it is known to be watching.
    bool watching = false;
    for (int i = 0; i < 20 && !watching; ++i) {
        const std::wstring probeFile = target + L"\\probe" + std::to_wstring(i) + L".txt";
        ASSERT_TRUE(WriteBytes(probeFile, TextBytes(5000, 9)));
        watching = probe::WaitUntil([&] { return Exists(probeFile + L".tdz"); }, 3000);
    }
    ASSERT_TRUE(watching);

    // New files on the stick become containers; the other model's drive is
    // left alone (its file is written first, so it had its chance).
    ASSERT_TRUE(WriteBytes(spare + L"\\other.txt", TextBytes(20000, 1)));
    ASSERT_TRUE(WriteBytes(target + L"\\report.txt", TextBytes(50000, 2)));
    ASSERT_TRUE(probe::WaitUntil([&] { return Exists(target + L"\\report.txt.tdz") && !Exists(target + L"\\report.txt"); },
                                 60000));
    EXPECT_TRUE(Exists(spare + L"\\other.txt"));
    EXPECT_FALSE(Exists(spare + L"\\other.txt.tdz"));

    // A container copied onto the fixed drive is restored there.
    ASSERT_TRUE(::CopyFileW((target + L"\\report.txt.tdz").c_str(), (other + L"\\report.txt.tdz").c_str(), TRUE));
    ASSERT_TRUE(probe::WaitUntil([&] { return Exists(other + L"\\report.txt") && !Exists(other + L"\\report.txt.tdz"); },
                                 60000));
    EXPECT_EQ(ReadBytes(other + L"\\report.txt"), TextBytes(50000, 2));

    // The stick leaves and comes back: a device change rescans at once.
    const HWND frame = TrayFrame();
    WriteTree(false);
    ::PostMessageW(frame, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_TRUE(probe::WaitUntil([&] { return CurrentDrive() == std::wstring(1, L'\0'); }, 20000));
    WriteTree(true);
    ::PostMessageW(frame, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_TRUE(probe::WaitUntil([&] { return CurrentDrive() == published; }, 20000));

    // A click on the icon opens the tray menu.
    ::PostMessageW(frame, WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONUP);
    const HWND menuWindow = probe::WaitForProcessWindow(WindowProcess(frame), [](HWND h) {
        return probe::ClassName(h) == L"#32768" && probe::IsVisible(h);
    });
    ASSERT_NE(menuWindow, nullptr);
    // Wine keeps menus per process, so its items are read by the frame tests
    // in process; here the click opening it is what counts.
    if (const char* shot = std::getenv("TDZ_TRAY_MENU_SHOT")) {
        // The picture for the README is taken by the caller while this waits.
        std::FILE* marker = std::fopen(shot, "w");
        if (marker)
            std::fclose(marker);
        probe::PumpFor(3000);
    }
    ::PostMessageW(frame, WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(StopTray());
}

}  // namespace
