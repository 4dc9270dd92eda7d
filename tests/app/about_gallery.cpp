// about_gallery.exe FOLDER: writes FOLDER\about_box.bmp, the about box as
// the tray program shows it in the user's language (about_screenshots.sh).
#include <windows.h>

#include <string>

#include "app/about_dlg.h"
#include "app/app_resource_ids.h"
#include "base/ui_language.h"
#include "modal_run.h"
#include "window_picture.h"
#include "window_probe.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    if (IsRightToLeftUILanguage())
        ::SetProcessDefaultLayout(LAYOUT_RTL);
    CAboutDlg about;
    ModalRun run;
    run.Start(about);
    const HWND dialog = run.WaitForDialog(WithControl(IDC_ABOUT_LINK));
    if (!dialog)
        return 3;
    probe::PumpFor(300);
    const bool saved = probe::SaveWindowPicture(dialog, std::wstring(argv[1]) + L"\\about_box.bmp");
    probe::Click(dialog, IDOK);
    run.Join();
    return saved ? 0 : 4;
}
