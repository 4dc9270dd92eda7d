// CProcessingDlg: the tray frame's modeless progress dialog. Hidden until a
// job phase begins, hidden again when the frame's last job is done; Cancel
// (or Escape) cancels the running job through the cancel event and hides
// it. The frame owns the cancel event and the count of active jobs; the
// object deletes itself when its window is destroyed.
#pragma once

#include <cstdint>

#include "common/job_progress_dlg.h"

class CProcessingDlg : public CJobProgressDlg {
public:
    CProcessingDlg();

    // Creates the dialog hidden, owned by the frame, with its first display.
    bool Create(HWND frame);

    void SetCancelEvent(HANDLE cancelEvent) { cancelEvent_ = cancelEvent; }
    HANDLE GetCancelEvent() const { return cancelEvent_; }

    // The frame's handlers of WM_JOB_QUEUED, WM_JOB_PHASE, WM_JOB_PROGRESS
    // and the dialog part of WM_JOB_DONE.
    void OnJobQueued(int& activeJobs);
    void OnJobPhase(uint32_t phase, int range, const wchar_t* currentFileName);
    void OnJobProgress(int position);
    void OnJobDone(int& activeJobs);

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    void PostNcDestroy() override { delete this; }

private:
    HANDLE cancelEvent_ = nullptr;
};
