// Shows each dialog of a program in a typical state and saves a picture of
// it, for looking at the layouts in every language. Built twice: with the
// tray program's resources (its replace question, progress dialogs and
// message box) and with Decompression's (its dialog and about box).
//
//   dialog_gallery.exe FOLDER           writes FOLDER\NAME.bmp for each dialog
//   decompression_gallery.exe FOLDER
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "common/confirm_replace_dlg.h"
#include "common/job_failure.h"
#include "common/processing_dlg.h"
#include "common/processing_modal_dlg.h"
#include "common/program_style.h"
#include "common/resource_ids.h"
#include "container/job_constants.h"
#include "ui/controls.h"
#include "ui/text.h"
#include "window_picture.h"
#include "window_probe.h"
#ifdef TDZ_GALLERY_DECOMPRESSION
#include "decompression/decompression_dlg.h"
#endif

namespace {

std::wstring g_folder;

// A worker that shows a decompression half-way and then waits to be
// stopped.
unsigned __stdcall HalfWayWorker(void* startRecord)
{
    auto* start = static_cast<WorkerStartRecord*>(startRecord);
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    ::SetEvent(start->readyEvent);
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_JOB_SUBMIT) {
            delete reinterpret_cast<JobRecord*>(msg.wParam);
            wcscpy(start->fileName, L"Quarterly report with a rather long name.xlsx");
            ::PostMessageW(start->notifyWindow, WM_JOB_PHASE, kPhaseDecompress, kProgressRange);
            ::PostMessageW(start->notifyWindow, WM_JOB_PROGRESS, 0, 42);
        }
    }
    delete start;
    return 0;
}

// Runs show on a thread of its own (it opens a modal window), waits for a
// visible window of that thread that matches, saves it, then closes it.
void Capture(const wchar_t* name, const std::function<void()>& show, const probe::WindowMatch& match,
             const std::function<void(HWND)>& close)
{
    std::atomic<DWORD> threadId{0};
    std::thread ui([&] {
        threadId = ::GetCurrentThreadId();
        show();
    });
    probe::WaitUntil([&] { return threadId != 0; });
    HWND hwnd = probe::WaitForThreadWindow(threadId, [&](HWND h) { return probe::IsVisible(h) && match(h); });
    if (hwnd) {
        probe::PumpFor(400);  // let it paint
        ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        probe::PumpFor(200);
        std::wstring path = g_folder + L"\\" + name + L".bmp";
        if (!probe::SaveWindowPicture(hwnd, path))
            fwprintf(stderr, L"gallery: cannot write %ls\n", path.c_str());
        close(hwnd);
    } else {
        fwprintf(stderr, L"gallery: %ls did not appear\n", name);
    }
    ui.join();
}

probe::WindowMatch HasControl(int id)
{
    return [id](HWND h) { return ::GetDlgItem(h, id) != nullptr; };
}

void Escape(HWND hwnd)
{
    probe::PressEscape(hwnd);
}

#ifndef TDZ_GALLERY_DECOMPRESSION
void TrayDialogs()
{
    SetProgramStyle(kTandrelStyle);
    const std::wstring name = L"Quarterly report with a rather long name.xlsx";
    Capture(L"replace_question", [&] {
        CConfirmReplaceDlg dialog;
        std::wstring format = LoadText(IDS_REPLACE_CONTAINER);
        dialog.SetMessage(FormatText(format.c_str(), L"Quarterly report with a rather lo..."));
        dialog.DoModal();
    }, HasControl(IDC_REPLACE_YES), Escape);

    Capture(L"replace_question_single", [&] {
        CConfirmReplaceDlg dialog;
        dialog.SetSingleFile(true);
        std::wstring format = LoadText(IDS_REPLACE_SINGLE);
        dialog.SetMessage(FormatText(format.c_str(), L"Quarterly report with a rather lo..."));
        dialog.DoModal();
    }, HasControl(IDC_REPLACE_YES), Escape);

    Capture(L"progress_tray", [&] {
        auto* dialog = new CProcessingDlg;
        if (!dialog->Create(nullptr))
            return;
        int activeJobs = 0;
        dialog->OnJobQueued(activeJobs);
        dialog->OnJobPhase(kPhaseCompress, 100, name.c_str());
        dialog->OnJobProgress(64);
        MSG msg;
        while (::IsWindow(dialog->GetHwnd()) && ::IsWindowVisible(dialog->GetHwnd()) &&
               ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!CDialog::PreTranslateModeless(msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        ::DestroyWindow(dialog->GetHwnd());
    }, HasControl(IDC_PROGRESS_BAR), Escape);

    Capture(L"progress_single_request", [&] {
        CProcessingModalDlg::SetWorker(HalfWayWorker);
        CProcessingModalDlg dialog;
        dialog.SetPath(L"C:\\x.tdz");
        dialog.DoModal();
    }, [](HWND h) { return ::GetDlgItem(h, IDC_PROGRESS_BAR) && probe::ProgressPos(h, IDC_PROGRESS_BAR) == 42; },
            [](HWND h) { probe::Click(h, IDCANCEL); });

    Capture(L"message_failure", [&] {
        JobRecord job{};
        wcscpy(job.folder, L"E:\\Reports\\Quarterly report.xlsx.tdz");
        job.operation = kOperationDecompress;
        ReportJobFailure(nullptr, job, 0x9003900B, JobReporter::SingleRequest);
    }, HasControl(0xFFFF), [](HWND h) { probe::Click(h, IDOK); });
}
#else
void DecompressionDialogs()
{
    SetProgramStyle(kDecompressionStyle);
    Capture(L"decompression", [&] {
        CProcessingModalDlg::SetWorker(HalfWayWorker);
        CDecompressionDlg dialog;
        dialog.SetPath(L"C:\\x.tdz");
        dialog.DoModal();
    }, [](HWND h) { return ::GetDlgItem(h, IDC_PROGRESS_BAR) && probe::ProgressPos(h, IDC_PROGRESS_BAR) == 42; },
            [](HWND h) { probe::Click(h, IDCANCEL); });

    Capture(L"decompression_about", [&] {
        CDialog about(IDD_DECOMPRESSION_ABOUT);
        about.DoModal();
    }, HasControl(IDOK), [](HWND h) { probe::Click(h, IDOK); });

    Capture(L"decompression_replace_question", [&] {
        CConfirmReplaceDlg dialog;
        dialog.SetSingleFile(true);
        std::wstring format = LoadText(IDS_REPLACE_SINGLE);
        dialog.SetMessage(FormatText(format.c_str(), L"Quarterly report.xlsx"));
        dialog.DoModal();
    }, HasControl(IDC_REPLACE_YES), Escape);
}
#endif

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        fwprintf(stderr, L"usage: %ls FOLDER\n", argv[0]);
        return 2;
    }
    g_folder = argv[1];
    EnableCommonControls();
#ifdef TDZ_GALLERY_DECOMPRESSION
    DecompressionDialogs();
#else
    TrayDialogs();
#endif
    return 0;
}
