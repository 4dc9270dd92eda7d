#include "common/processing_modal_dlg.h"

#include <process.h>

#include <cwchar>
#include <new>

#include "common/confirm_replace_dlg.h"
#include "common/display_name.h"
#include "common/job_failure.h"
#include "common/program_style.h"
#include "common/resource_ids.h"
#include "container/job_post.h"
#include "ui/text.h"

namespace {

// Ends the dialog when the worker could not be started.
constexpr INT_PTR kStartFailed = 3;

JobWorkerProc g_worker = nullptr;

}  // namespace

CProcessingModalDlg::CProcessingModalDlg(UINT templateId)
    : CJobProgressDlg(templateId ? templateId : IDD_PROCESSING_MODAL, nullptr)
{
}

CProcessingModalDlg::~CProcessingModalDlg()
{
    if (workerThread_.Valid()) {
        // A job still running is cancelled, and a replace question that no
        // window will answer now is answered Cancel.
        if (cancelEvent_.Valid())
            ::SetEvent(cancelEvent_.Get());
        if (readyEvent_.Valid())
            ::SetEvent(readyEvent_.Get());
    }
    StopWorker();
    CloseEvents();
}

void CProcessingModalDlg::SetWorker(JobWorkerProc worker)
{
    g_worker = worker;
}

void CProcessingModalDlg::SetPath(const wchar_t* path)
{
    wcsncpy(path_, path ? path : L"", kPathUnits - 1);
    path_[kPathUnits - 1] = L'\0';
}

INT_PTR CProcessingModalDlg::DialogProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_JOB_PHASE:
        OnJobPhase(static_cast<uint32_t>(wp), static_cast<int>(lp));
        return TRUE;
    case WM_JOB_PROGRESS:
        OnJobProgress(static_cast<int>(lp));
        return TRUE;
    case WM_JOB_DONE:
        OnJobDone(reinterpret_cast<JobRecord*>(wp), static_cast<ResultCode>(lp));
        return TRUE;
    case WM_REPLACE_QUERY:
        OnReplaceQuery(static_cast<uint32_t>(wp), reinterpret_cast<uint32_t*>(lp));
        return TRUE;
    }
    return CJobProgressDlg::DialogProc(msg, wp, lp);
}

BOOL CProcessingModalDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    PrepareWindow();
    if (!StartJob()) {
        EndDialog(kStartFailed);
        return TRUE;
    }
    ShowWindow(SW_HIDE);
    ResetDisplay();
    if (UsesRightToLeftLayout())
        MirrorLayout();
    return TRUE;
}

bool CProcessingModalDlg::StartJob()
{
    cancelEvent_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    readyEvent_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!cancelEvent_.Valid() || !readyEvent_.Valid() || !g_worker) {
        CloseEvents();
        return false;
    }

    currentFileName_[0] = L'\0';
    auto* start = new (std::nothrow) WorkerStartRecord{GetHwnd(), currentFileName_, cancelEvent_.Get(), nullptr, readyEvent_.Get()};
    if (!start) {
        CloseEvents();
        return false;
    }
    ::ResetEvent(readyEvent_.Get());
    uintptr_t thread = _beginthreadex(nullptr, 0, g_worker, start, 0, &workerThreadId_);
    if (thread == 0) {
        delete start;
        CloseEvents();
        return false;
    }
    workerThread_.Reset(reinterpret_cast<HANDLE>(thread));
    // From here on the worker's queue exists and no job message is lost.
    ::WaitForSingleObject(readyEvent_.Get(), INFINITE);

    auto* job = new (std::nothrow) JobRecord{};
    if (job) {
        wcsncpy(job->folder, path_, kPathUnits - 1);
        job->folder[kPathUnits - 1] = L'\0';
        job->operation = operation_;
        job->retryMark = 0;
        if (::PostThreadMessageW(workerThreadId_, WM_JOB_SUBMIT, reinterpret_cast<WPARAM>(job), kSubmitBatchJob)) {
            // Kept exact for the producers' queue limit, which the worker
            // counts down as it takes each job.
            NoteJobPostedToWorker();
            return true;
        }
        delete job;
    }
    // The worker is running but got no job: stop it rather than leave it.
    StopWorker();
    CloseEvents();
    return false;
}

void CProcessingModalDlg::StopWorker()
{
    if (!workerThread_.Valid())
        return;
    ::PostThreadMessageW(workerThreadId_, WM_QUIT, 0, 0);
    // No time limit: the worker uses the events until it ends, and a file
    // it is putting back from the temporary folder must not be left there.
    ::WaitForSingleObject(workerThread_.Get(), INFINITE);
    workerThread_.Reset();
    workerThreadId_ = 0;
}

void CProcessingModalDlg::CloseEvents()
{
    cancelEvent_.Reset();
    readyEvent_.Reset();
}

void CProcessingModalDlg::OnJobPhase(uint32_t phase, int range)
{
    ShowPhase(phase, range, currentFileName_, UsesRightToLeftLayout());
    if (cancelling_) {
        cancelButton_.EnableWindow(false);
        SetWindowText(LoadText(
            PhaseTitleId(operation_ == kOperationCompress ? kPhaseEndCompress : kPhaseEndDecompress)));
    }
}

void CProcessingModalDlg::OnJobProgress(int position)
{
    if (UsesRightToLeftLayout())
        SetControlsRightToLeft();
    ShowProgress(position);
}

void CProcessingModalDlg::OnJobDone(JobRecord* job, ResultCode result)
{
    StopWorker();
    CloseEvents();
    if (job && IsReportedJobResult(result, JobReporter::SingleRequest))
        ReportJobFailure(GetHwnd(), *job, result, JobReporter::SingleRequest);
    delete job;
    ShowWindow(SW_HIDE);
    EndDialog(result != kResultDone ? IDCANCEL : IDOK);
}

void CProcessingModalDlg::OnReplaceQuery(uint32_t /*mode*/, uint32_t* answer)
{
    if (cancelling_) {
        // Asked before the cancel reached the job: the answer is Cancel.
        if (answer)
            *answer = kAnswerCancel;
        if (readyEvent_.Valid())
            ::SetEvent(readyEvent_.Get());
        return;
    }
    CConfirmReplaceDlg question;
    question.SetSingleFile(true);
    std::wstring format = LoadText(IDS_REPLACE_SINGLE);
    std::wstring name = ShortenName(currentFileName_);
    question.SetMessage(FormatText(format.c_str(), name.c_str()));

    // The question has no owner; without this the Cancel button here could
    // stop the worker and close the reply event while the worker waits for
    // the answer.
    EnableWindow(false);
    question.DoModal();
    EnableWindow(true);

    if (answer)
        *answer = static_cast<uint32_t>(question.GetResult());
    if (readyEvent_.Valid())
        ::SetEvent(readyEvent_.Get());
}

void CProcessingModalDlg::OnCancel()
{
    if (workerThread_.Valid()) {
        // The dialog, and with it the program, ends with the job's report
        // (OnJobDone): a job cannot be cancelled while it puts a parked file
        // back, and that file must not stay in the temporary folder. Until
        // then the dialog says that the job is finishing.
        if (!cancelling_) {
            cancelling_ = true;
            ::SetEvent(cancelEvent_.Get());
            cancelButton_.EnableWindow(false);
            SetWindowText(LoadText(
                PhaseTitleId(operation_ == kOperationCompress ? kPhaseEndCompress : kPhaseEndDecompress)));
        }
        return;
    }
    CloseEvents();
    EndDialog(IDCANCEL);
}
