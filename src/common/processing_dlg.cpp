#include "common/processing_dlg.h"

#include "common/program_style.h"
#include "common/resource_ids.h"

CProcessingDlg::CProcessingDlg() : CJobProgressDlg(IDD_PROCESSING, nullptr) {}

bool CProcessingDlg::Create(HWND frame)
{
    if (!CDialog::Create(frame))
        return false;
    ShowWindow(SW_HIDE);
    ResetDisplay();
    return true;
}

BOOL CProcessingDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (UsesRightToLeftLayout())
        MirrorLayout();
    return TRUE;
}

void CProcessingDlg::OnCancel()
{
    // Never closed by the user: the remaining jobs of the run are skipped
    // by the worker and the dialog comes back with the next run.
    if (cancelEvent_)
        ::SetEvent(cancelEvent_);
    ShowWindow(SW_HIDE);
}

void CProcessingDlg::OnJobQueued(int& activeJobs)
{
    if (activeJobs == 0) {
        // A new run: a cancel of the last run must not reach it.
        if (cancelEvent_)
            ::ResetEvent(cancelEvent_);
        label_.clear();
        progressBar_.SetPos(0);
        UpdateData(false);
    }
    ++activeJobs;
}

void CProcessingDlg::OnJobPhase(uint32_t phase, int range, const wchar_t* currentFileName)
{
    ShowPhase(phase, range, currentFileName, false);
}

void CProcessingDlg::OnJobProgress(int position)
{
    ShowProgress(position);
}

void CProcessingDlg::OnJobDone(int& activeJobs)
{
    label_.clear();
    progressBar_.SetPos(0);
    UpdateData(false);
    --activeJobs;
    if (activeJobs < 1)
        ShowWindow(SW_HIDE);
}
