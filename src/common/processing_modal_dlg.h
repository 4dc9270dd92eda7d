// CProcessingModalDlg: the modal progress dialog of one single request. It
// starts a worker thread of its own, submits the one job, shows its phases
// and progress, asks the replace question, reports a failure and ends with
// the job: IDOK when it succeeded, IDCANCEL when it did not or the user
// cancelled, 3 when the worker could not be started. Cancel never ends it
// before the job has ended: the job is cancelled and the dialog shows that
// it is finishing until the worker reports (a parked file being put back
// is not cancellable).
#pragma once

#include <cstdint>

#include "base/win_handle.h"
#include "common/job_progress_dlg.h"
#include "container/job_protocol.h"

// Thread procedure of a worker, as the runtime library starts threads.
using JobWorkerProc = unsigned(__stdcall*)(void* startRecord);

class CProcessingModalDlg : public CJobProgressDlg {
public:
    explicit CProcessingModalDlg(UINT templateId = 0);
    ~CProcessingModalDlg() override;

    // The worker these dialogs start. A program sets it once at start-up;
    // the dialogs know the job protocol, not the file operations.
    static void SetWorker(JobWorkerProc worker);

    void SetPath(const wchar_t* path);
    void SetOperation(uint32_t operation) { operation_ = operation; }

protected:
    INT_PTR DialogProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnInitDialog() override;
    void OnCancel() override;

    // Between the base initialisation and the start of the worker.
    virtual void PrepareWindow() {}

    void OnJobPhase(uint32_t phase, int range);
    void OnJobProgress(int position);
    void OnJobDone(JobRecord* job, ResultCode result);
    void OnReplaceQuery(uint32_t mode, uint32_t* answer);

private:
    bool StartJob();
    void StopWorker();
    void CloseEvents();

    EventHandle cancelEvent_;
    EventHandle readyEvent_;
    wchar_t currentFileName_[kPathUnits] = {};
    ThreadHandle workerThread_;
    unsigned workerThreadId_ = 0;
    wchar_t path_[kPathUnits] = {};
    uint32_t operation_ = kOperationDecompress;
    bool cancelling_ = false;  // Cancel chosen; the dialog ends with the job
};
