#include "container/worker_thread.h"

#include "container/compress_file.h"
#include "container/decompress_file.h"
#include "container/folder_walk.h"
#include "container/job_post.h"
#include "container/naming.h"
#include "container/volume_lock.h"

namespace {

// Only the worker writes them once it runs; the starter resets them before.
volatile LONG g_received = 0;
volatile LONG g_handled = 0;

struct WorkerState {
    bool batchSkip = false;   // skip the rest of the batch after a cancel
    bool watchSkip = false;   // skip the watcher jobs queued before a cancel
    bool replaceAll = false;  // Yes to All in force
};

bool IsSet(HANDLE event) { return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

void ReportDone(const WorkerStartRecord& record, JobRecord* job, ResultCode result) {
    HandJobBack(record.notifyWindow, job, result);
}

void OnJobSubmit(const WorkerStartRecord& record, WorkerState& state, JobRecord* job, LPARAM batchFlag) {
    NoteJobTakenByWorker();
    InterlockedIncrement(&g_received);
    const bool batchJob = batchFlag == kSubmitBatchJob;
    if ((batchJob && state.batchSkip) || (!batchJob && state.watchSkip)) {
        ReportDone(record, job, kResultCancelled);
        return;
    }

    const ResultCode result = RunJob(record, job, &state.replaceAll);
    if (result == kResultCancelled) {
        if (batchJob) {
            state.batchSkip = true;
            if (record.batchCancelEvent != nullptr) SetEvent(record.batchCancelEvent);
        } else {
            state.watchSkip = true;
            // Behind the jobs already queued: exactly those are skipped. A
            // queue too full to take the marker skips nothing more rather
            // than every watcher job for ever.
            if (!PostToThreadOnce(GetCurrentThreadId(), WM_WATCH_SKIP_END, 0, 0)) state.watchSkip = false;
        }
    } else if (result == kResultInUse && !batchJob) {
        // The copying program may still hold the file: try again behind
        // the jobs queued meanwhile. Only the last attempt is reported.
        if (state.replaceAll) job->retryMark = 1;
        NoteJobPostedToWorker();
        if (PostToThreadOnce(GetCurrentThreadId(), WM_JOB_SUBMIT, reinterpret_cast<WPARAM>(job),
                             kSubmitWatcherJob)) {
            return;
        }
        // A full queue: report the file as in use rather than lose the job.
        NoteJobTakenByWorker();
    }

    // The volume is opened, locked once and closed again; the answer does
    // not matter here.
    TryLockVolume(job->folder[0]);
    if (IsHandledWithoutFailure(result)) InterlockedIncrement(&g_handled);
    ReportDone(record, job, result);
}

void OnBatchEnd(const WorkerStartRecord& record, WorkerState& state, WPARAM driveJob, LPARAM walkResult) {
    if (walkResult == 0 || g_received != g_handled) state.batchSkip = true;
    const LPARAM completed = state.batchSkip ? kBatchIncomplete : kBatchComplete;
    // The window owns the drive record; a window that is gone cannot free it.
    (void)PostToWindow(record.notifyWindow, WM_BATCH_DONE, driveJob, completed);
    ResetJobCounters();
    state.batchSkip = false;
}

// Jobs and batch ends that were still queued when the thread was told to
// end: nobody else will free their records.
void DropQueuedJobs() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_JOB_SUBMIT, WM_JOB_SUBMIT, PM_REMOVE)) {
        NoteJobTakenByWorker();
        delete reinterpret_cast<JobRecord*>(msg.wParam);
    }
    while (PeekMessageW(&msg, nullptr, WM_BATCH_END, WM_BATCH_END, PM_REMOVE))
        delete reinterpret_cast<DriveJobRecord*>(msg.wParam);
}

}  // namespace

void ResetJobCounters() {
    InterlockedExchange(&g_received, 0);
    InterlockedExchange(&g_handled, 0);
}

JobCounters GetJobCounters() {
    return {static_cast<uint32_t>(InterlockedCompareExchange(&g_received, 0, 0)),
            static_cast<uint32_t>(InterlockedCompareExchange(&g_handled, 0, 0))};
}

ResultCode RunJob(const WorkerStartRecord& record, JobRecord* job, bool* replaceAll) {
    job->parkedPath[0] = 0;
    if (IsSet(record.cancelEvent)) return kResultCancelled;

    JobPaths paths;
    const ResultCode refused = ApplyNamingRules(job->operation, job->folder, job->name, &paths);
    if (refused != kResultDone) return refused;

    // The notify window shows it with the next phase.
    if (record.fileName != nullptr) lstrcpynW(record.fileName, paths.displayName, kPathUnits);

    bool* prompt = job->retryMark ? nullptr : replaceAll;
    if (job->operation == kOperationCompress) {
        return CompressFile(record.notifyWindow, record.cancelEvent, record.readyEvent, paths.source, paths.target,
                            prompt, job->parkedPath);
    }
    return DecompressFile(record.notifyWindow, record.cancelEvent, record.readyEvent, paths.source, paths.target,
                          prompt, job->parkedPath);
}

unsigned __stdcall WorkerThread(void* startRecord) {
    auto* record = static_cast<WorkerStartRecord*>(startRecord);
    // Thread messages posted before the queue exists are lost: create it
    // before telling the starter to go on.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(record->readyEvent);

    WorkerState state;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        switch (msg.message) {
        case WM_JOB_SUBMIT:
            OnJobSubmit(*record, state, reinterpret_cast<JobRecord*>(msg.wParam), msg.lParam);
            break;
        case WM_WATCH_SKIP_END:
            state.watchSkip = false;
            break;
        case WM_REPLACE_ALL_END:
            state.replaceAll = false;
            break;
        case WM_BATCH_END:
            OnBatchEnd(*record, state, msg.wParam, msg.lParam);
            break;
        default:
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            break;
        }
    }
    DropQueuedJobs();
    delete record;
    return 0;
}
