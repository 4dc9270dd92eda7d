// The tray frame in a process of its own, driven from a script: the kill
// test and the pictures of the tray program use it. The removable drive is
// played as a supported stick, the user as an administrator (asked nothing
// at start).
//
//   tray_driver --drive R: [--auto-off] [--compress-drive] [--exit-after-batch]
//               [--menu-after-batch X,Y]
//
// --compress-drive answers the whole-drive question with OK as a user
// would; --exit-after-batch ends the program once that batch has finished
// and prints "batch done"; --menu-after-batch opens the tray menu at X,Y
// a few seconds after it, as a click on the icon would (for pictures).
// Otherwise it runs until it is killed or closed.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

#include "drives/drive_menu.h"
#include "drives/scripted_device_tree.h"
#include "scripted_system.h"
#include "tray/main_frame.h"
#include "window_probe.h"

namespace {

void Pump(DWORD ms)
{
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring drive = L"R:";
    bool autoOff = false, compress = false, exitAfterBatch = false;
    POINT menuAt{-1, -1};
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--drive" && i + 1 < argc)
            drive = argv[++i];
        else if (option == L"--auto-off")
            autoOff = true;
        else if (option == L"--compress-drive")
            compress = true;
        else if (option == L"--exit-after-batch")
            exitAfterBatch = true;
        else if (option == L"--menu-after-batch" && i + 1 < argc)
            std::swscanf(argv[++i], L"%ld,%ld", &menuAt.x, &menuAt.y);
    }
    PlaySystem({6, 1, true, true});
    ScriptedStick stick;
    stick.hardwareId = L"USB\\Vid_1F3A&Pid_0101";
    stick.driveLetter = drive[0];
    PlayDeviceTree({stick});
    CMainFrame frame;
    if (!frame.CreateFrame() || !frame.Initialized()) {
        std::fprintf(stderr, "the frame did not start\n");
        return 1;
    }
    HMENU loaded = nullptr;
    frame.BuildTrayMenu(&loaded);  // gives the drives their menu places
    ::DestroyMenu(loaded);
    if (autoOff)
        ::SendMessageW(frame.GetHwnd(), WM_COMMAND, kAutoCompressFirstId, 0);
    if (compress) {
        std::thread answer([] {
            HWND box = probe::WaitForProcessWindow(::GetCurrentProcessId(), [](HWND h) {
                return probe::IsDialog(h) && probe::IsVisible(h) && ::GetDlgItem(h, 0xFFFF) != nullptr;
            });
            if (box)
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        ::SendMessageW(frame.GetHwnd(), WM_COMMAND, kCompressDriveFirstId, 0);
        answer.join();
        std::printf("batch started\n");
        std::fflush(stdout);
    }
    DWORD batchEnded = 0;
    while (frame.IsWindow()) {
        Pump(50);
        if (compress && menuAt.x >= 0 && !frame.DriveJobBusy()) {
            if (batchEnded == 0) {
                batchEnded = ::GetTickCount();
            } else if (::GetTickCount() - batchEnded > 4000) {
                ::SetCursorPos(menuAt.x, menuAt.y);
                menuAt.x = -1;
                ::PostMessageW(frame.GetHwnd(), WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONUP);
            }
        }
        if (exitAfterBatch && compress && !frame.DriveJobBusy()) {
            std::printf("batch done, %u jobs\n", frame.JobsDone());
            std::fflush(stdout);
            ::DestroyWindow(frame.GetHwnd());
        }
    }
    return 0;
}
