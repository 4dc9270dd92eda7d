// Saves a picture of the shield dialog as the tray program shows it in the
// interface language of the moment (mirrored for Arabic, Urdu and Farsi).
//
//   startup_shield_gallery.exe FOLDER     writes FOLDER\shield_dialog.bmp
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/program_style.h"
#include "modal_run.h"
#include "shield_dialog_ids.h"
#include "tray/shield_icon_dlg.h"
#include "window_picture.h"
#include "window_probe.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        fwprintf(stderr, L"usage: startup_shield_gallery FOLDER\n");
        return 2;
    }
    SetProgramStyle(kTandrelStyle);
    // As the program starts its frame.
    if (UsesRightToLeftLayout())
        ::SetProcessDefaultLayout(LAYOUT_RTL);
    CShieldIconDlg dialog;
    ModalRun run;
    run.Start(dialog);
    HWND hwnd = run.WaitForDialog(WithControl(IDC_SHIELD_TEXT));
    if (!hwnd) {
        fwprintf(stderr, L"startup_shield_gallery: the dialog did not appear\n");
        return 1;
    }
    probe::PumpFor(400);  // let it paint
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    probe::PumpFor(200);
    const std::wstring path = std::wstring(argv[1]) + L"\\shield_dialog.bmp";
    const bool saved = probe::SaveWindowPicture(hwnd, path);
    probe::Click(hwnd, IDCANCEL);
    run.Join();
    return saved ? 0 : 1;
}
