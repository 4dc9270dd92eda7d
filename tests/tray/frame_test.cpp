// The tray frame in this process, on the Wine test drives: the removable
// one is a supported stick in a scripted USB tree, the fixed one a fixed
// drive. Message boxes are answered from a second thread, as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "common/resource_ids.h"
#include "container/job_protocol.h"
#include "drives/drive_detection.h"
#include "drives/drive_menu.h"
#include "drives/scripted_device_tree.h"
#include "file_test_util.h"
#include "scripted_system.h"
#include "tray/main_frame.h"
#include "window_probe.h"

namespace {

constexpr DWORD kWaitMs = 60000;

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Pumps this thread's messages (the frame's) until condition holds.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs)
{
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return true;
}

void EmptyFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EmptyFolder(folder + name + L"\\");
            ::RemoveDirectoryW((folder + name).c_str());
        } else {
            ::SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW((folder + name).c_str());
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
}

// Answers the next message box of this process with a button, from its own
// thread; records the box's text.
struct BoxAnswerer {
    std::thread thread;
    std::wstring text;
    explicit BoxAnswerer(int button)
    {
        thread = std::thread([this, button] {
            HWND box = probe::WaitForProcessWindow(::GetCurrentProcessId(), [](HWND h) {
                return probe::IsDialog(h) && probe::IsVisible(h) && ::GetDlgItem(h, 0xFFFF) != nullptr;
            });
            if (!box)
                return;
            text = probe::MessageBoxText(box);
            ::PostMessageW(box, WM_COMMAND, button, 0);
        });
    }
    std::wstring Wait()
    {
        thread.join();
        return text;
    }
};

class FrameTest : public ::testing::Test {
protected:
    std::wstring target = L"" TDZ_TEST_TARGET_DRIVE L"\\";
    std::wstring other = L"" TDZ_TEST_OTHER_DRIVE L"\\";
    ScriptedStick stick;
    CMainFrame* frame = nullptr;

    void SetUp() override
    {
        if (::GetDriveTypeW(target.c_str()) != DRIVE_REMOVABLE || ::GetDriveTypeW(other.c_str()) != DRIVE_FIXED)
            GTEST_SKIP() << "test drives are not mapped (run through ctest, fixture map_test_drives)";
        EmptyFolder(target);
        EmptyFolder(other);
        PlaySystem({6, 1, true, true});  // an administrator is asked nothing at start
        stick.hardwareId = L"USB\\Vid_2C7E&Pid_4001&Rev_0100";
        stick.driveLetter = target[0];
        stick.deviceNumber = 2;
        PlayDeviceTree({stick});
        frame = new CMainFrame;
        ASSERT_TRUE(frame->CreateFrame());
        ASSERT_TRUE(frame->Initialized());
        OpenMenuOnce();
    }
    // Drive commands name drives by their place in the last menu opened.
    void OpenMenuOnce()
    {
        HMENU loaded = nullptr;
        frame->BuildTrayMenu(&loaded);
        ::DestroyMenu(loaded);
    }
    void TearDown() override
    {
        if (frame) {
            if (frame->IsWindow())
                ::DestroyWindow(frame->GetHwnd());
            delete frame;
        }
        StopDeviceTree();
        RestoreSystem();
    }
    UINT MenuState(HMENU menu, UINT item, UINT by = MF_BYCOMMAND) { return ::GetMenuState(menu, item, by); }
    // The popup as the user sees it opening: built, then the update step.
    HMENU OpenSubmenu(HMENU popup, int position)
    {
        HMENU sub = ::GetSubMenu(popup, position);
        ::SendMessageW(frame->GetHwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sub), MAKELPARAM(position, FALSE));
        return sub;
    }
    void Command(UINT id) { ::SendMessageW(frame->GetHwnd(), WM_COMMAND, id, 0); }
};

TEST_F(FrameTest, FindsTheStickCompressesItsNewFilesAndRestoresContainersElsewhere)
{
    const RegistryValue value = ReadRegistryValue(HKEY_CURRENT_USER, kProgramKey, kCurrentDriveValue);
    EXPECT_EQ(value.data, target.substr(0, 2) + std::wstring(2, L'\0'));
    EXPECT_EQ(std::wstring(frame->TrayIcon().szTip), L"Automatic compression drive (" + target.substr(0, 2) + L")");
    EXPECT_NE(frame->LastBalloon().find(L"(" + target.substr(0, 2) + L")"), std::wstring::npos) << probe::Narrow(frame->LastBalloon());

    // The watcher thread may not be reading changes yet: probe files until
    // one is compressed.
    bool watching = false;
    for (int i = 0; i < 20 && !watching; ++i) {
        const std::wstring probeFile = target + L"probe" + std::to_wstring(i) + L".txt";
        ASSERT_TRUE(WriteBytes(probeFile, TextBytes(5000, 9)));
        watching = PumpUntil([&] { return Exists(probeFile + L".tdz"); }, 3000);
    }
    ASSERT_TRUE(watching);
    ASSERT_TRUE(WriteBytes(target + L"report.txt", TextBytes(200000, 1)));
    ASSERT_TRUE(PumpUntil([&] { return Exists(target + L"report.txt.tdz") && !Exists(target + L"report.txt"); }));

    ASSERT_TRUE(::CopyFileW((target + L"report.txt.tdz").c_str(), (other + L"report.txt.tdz").c_str(), TRUE));
    ASSERT_TRUE(PumpUntil([&] { return Exists(other + L"report.txt") && !Exists(other + L"report.txt.tdz"); }));
    EXPECT_EQ(ReadBytes(other + L"report.txt"), TextBytes(200000, 1));
}

TEST_F(FrameTest, MenuGreysAndChecksAsTheStateAsks)
{
    HMENU loaded = nullptr;
    HMENU popup = frame->BuildTrayMenu(&loaded);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(::GetMenuItemCount(popup), 9);
    HMENU autoDrives = OpenSubmenu(popup, 0);
    EXPECT_EQ(::GetMenuItemCount(autoDrives), 1);
    EXPECT_TRUE(MenuState(autoDrives, kAutoCompressFirstId) & MF_CHECKED);
    HMENU compress = OpenSubmenu(popup, 1);
    EXPECT_FALSE(MenuState(compress, kCompressDriveFirstId) & (MF_CHECKED | MF_GRAYED));
    OpenSubmenu(popup, 0);
    ::SendMessageW(frame->GetHwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    EXPECT_FALSE(MenuState(popup, ID_TRAY_EXIT) & MF_GRAYED);
    EXPECT_FALSE(MenuState(popup, ID_TRAY_STARTUP) & MF_CHECKED);
    ::DestroyMenu(loaded);

    // Automatic compression off: no check, and the tip forgets the drive.
    Command(kAutoCompressFirstId);
    popup = frame->BuildTrayMenu(&loaded);
    EXPECT_FALSE(MenuState(OpenSubmenu(popup, 0), kAutoCompressFirstId) & MF_CHECKED);
    EXPECT_EQ(std::wstring(frame->TrayIcon().szTip), L"Tandrel (Administrator)");
    ::DestroyMenu(loaded);

    // No stick: the three drive submenus are greyed.
    PlayDeviceTree({});
    frame->RescanDrives();
    popup = frame->BuildTrayMenu(&loaded);
    for (int position = 0; position < 3; ++position)
        EXPECT_TRUE(MenuState(popup, position, MF_BYPOSITION) & MF_GRAYED) << position;
    ::DestroyMenu(loaded);
}

TEST_F(FrameTest, CompressingTheWholeDriveAsksFirstAndEndsWithItsBalloon)
{
    Command(kAutoCompressFirstId);  // off: only the batch compresses
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(WriteBytes(target + L"file" + std::to_wstring(i) + L".txt", TextBytes(30000, i)));

    BoxAnswerer cancel(IDCANCEL);
    Command(kCompressDriveFirstId);
    EXPECT_FALSE(cancel.Wait().empty());
    EXPECT_FALSE(frame->DriveJobBusy()) << "a cancelled confirmation leaves Exit enabled";
    EXPECT_TRUE(Exists(target + L"file0.txt"));

    BoxAnswerer ok(IDOK);
    Command(kCompressDriveFirstId);
    ok.Wait();
    ASSERT_TRUE(PumpUntil([&] { return !frame->DriveJobBusy(); }));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(Exists(target + L"file" + std::to_wstring(i) + L".txt.tdz")) << i;
    EXPECT_EQ(frame->LastBalloon(), L"Compression of Drive (" + target.substr(0, 2) + L") was completed.");
}

TEST_F(FrameTest, CancellingABatchFromTheProgressDialogShowsNoBalloon)
{
    Command(kAutoCompressFirstId);
    ASSERT_TRUE(WriteBytes(target + L"big.txt", NoiseBytes(60 * 1024 * 1024, 5)));
    const std::wstring before = frame->LastBalloon();
    std::thread user([&] {
        HWND box = probe::WaitForProcessWindow(::GetCurrentProcessId(), [](HWND h) {
            return probe::IsDialog(h) && probe::IsVisible(h) && ::GetDlgItem(h, 0xFFFF) != nullptr;
        });
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        HWND progress = probe::WaitForProcessWindow(::GetCurrentProcessId(), [](HWND h) {
            return probe::IsVisible(h) && ::GetDlgItem(h, IDC_PROGRESS_BAR) != nullptr;
        }, 60000);
        if (progress)
            ::PostMessageW(progress, WM_COMMAND, IDCANCEL, 0);
    });
    Command(kCompressDriveFirstId);
    ASSERT_TRUE(PumpUntil([&] { return !frame->DriveJobBusy(); }));
    user.join();
    EXPECT_EQ(frame->LastBalloon(), before) << "a cancelled batch ends without its balloon";
    EXPECT_TRUE(Exists(target + L"big.txt"));
    EXPECT_FALSE(Exists(target + L"big.txt.tdz"));
}

TEST_F(FrameTest, ARestartedTaskbarGetsTheIconBack)
{
    const unsigned adds = frame->TrayIconAdds();
    ::SendMessageW(frame->GetHwnd(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(frame->TrayIconAdds(), adds + 1);
}

TEST_F(FrameTest, SafeRemovalTurnsAutomaticCompressionOffAndTellsTheOutcome)
{
    const struct {
        int vetoes;
        int ejected;
        UINT text;
    } rows[] = {{3, 0, IDS_REMOVE_FAILED}, {0, 1, IDS_REMOVE_SUCCEEDED}};
    for (const auto& row : rows) {
        stick.vetoes = row.vetoes;
        PlayDeviceTree({stick});
        frame->RescanDrives();
        OpenMenuOnce();
        BoxAnswerer ok(IDOK);
        Command(kRemoveDriveFirstId);
        const std::wstring text = ok.Wait();
        EXPECT_EQ(frame->LastRemovalResult(), row.ejected);
        EXPECT_NE(text.find(row.ejected ? L"safely removed" : L"failed to be removed"), std::wstring::npos)
            << probe::Narrow(text);
        EXPECT_EQ(std::wstring(frame->TrayIcon().szTip), L"Tandrel (Administrator)") << "automatic compression stays off";
    }
    frame->RescanDrives();
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, kProgramKey, kCurrentDriveValue).data, std::wstring(1, L'\0'));
}

TEST_F(FrameTest, ClosingWithAReplaceQuestionStillQueuedEndsTheWorker)
{
    // A container of the name already exists: the worker asks, and the
    // question waits in the frame's queue because nothing pumps it.
    ASSERT_TRUE(WriteBytes(target + L"a.txt.tdz", TextBytes(1000, 2)));
    ASSERT_TRUE(WriteBytes(target + L"a.txt", TextBytes(50000, 3)));
    MSG msg;
    const DWORD start = ::GetTickCount();
    while (!::PeekMessageW(&msg, frame->GetHwnd(), WM_REPLACE_QUERY, WM_REPLACE_QUERY, PM_NOREMOVE) &&
           ::GetTickCount() - start < kWaitMs) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
        while (::PeekMessageW(&msg, frame->GetHwnd(), WM_JOB_QUEUED, WM_JOB_PROGRESS, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    ASSERT_TRUE(::PeekMessageW(&msg, frame->GetHwnd(), WM_REPLACE_QUERY, WM_REPLACE_QUERY, PM_NOREMOVE));
    const DWORD closing = ::GetTickCount();
    ::DestroyWindow(frame->GetHwnd());
    EXPECT_LT(::GetTickCount() - closing, 10000u) << "the worker answered its own question with Cancel";
    EXPECT_TRUE(Exists(target + L"a.txt"));
    EXPECT_EQ(ReadBytes(target + L"a.txt.tdz"), TextBytes(1000, 2)) << "nothing replaced";
    EXPECT_TRUE(ListNames(target, L"*.tmp").empty());
}

TEST_F(FrameTest, TheTrayMenuWaitsWhileABoxOfTheFrameIsOpen)
{
    std::atomic<bool> clicked{false};
    BoxAnswerer answer(IDCANCEL);
    std::thread clicker([&] {
        probe::WaitForProcessWindow(::GetCurrentProcessId(), [](HWND h) {
            return probe::IsDialog(h) && probe::IsVisible(h) && ::GetDlgItem(h, 0xFFFF) != nullptr;
        });
        // Exit asked from outside while the box is open: it must wait.
        ::PostMessageW(frame->GetHwnd(), WM_CLOSE, 0, 0);
        clicked = true;
    });
    Command(kCompressDriveFirstId);  // its confirmation is the open box
    clicker.join();
    answer.Wait();
    EXPECT_TRUE(frame->IsWindow()) << "the close waited for the box";
    EXPECT_TRUE(PumpUntil([&] { return !frame->IsWindow(); })) << "and came once the box was gone";
}

}  // namespace
