// The records and window messages by which jobs travel between the
// producers (drive walk, watchers, single requests), the worker thread and
// the notify window that shows their progress.
//
// Ownership: a producer allocates a JobRecord with new and gives it up with
// WM_JOB_SUBMIT; the worker owns it while it is queued or running and hands
// it on with WM_JOB_DONE; the notify window deletes it. A WorkerStartRecord
// is allocated by the starter and deleted by the worker thread when it ends.
#pragma once

#include <windows.h>

#include <cstdint>

#include "container/job_constants.h"
#include "container/result_code.h"

struct JobRecord {
    wchar_t folder[kPathUnits];  // ends with "\"; a single request: the whole path
    wchar_t name[kPathUnits];    // may hold sub-folders; empty for a single request
    uint32_t operation;          // kOperationCompress or kOperationDecompress
    uint32_t retryMark;          // 1: requeued busy watcher job under Yes to All, replaces without asking
    // Set by the worker: the full path of the parked copy when the job
    // failed with its file left in the temporary folder; else empty.
    wchar_t parkedPath[kPathUnits];
};

struct WorkerStartRecord {
    HWND notifyWindow;         // receives phase, progress, replace questions, results
    wchar_t* fileName;         // kPathUnits buffer for the current display name, or null
    HANDLE cancelEvent;        // the progress dialog's: cancels the running job
    HANDLE batchCancelEvent;   // stops the whole-drive walk, or null
    HANDLE readyEvent;         // set once the queue exists; also the replace reply
};

// Message                     to              wParam                      lParam
constexpr UINT WM_JOB_SUBMIT      = WM_USER + 1;   // worker     JobRecord*           kSubmitBatchJob / kSubmitWatcherJob
constexpr UINT WM_JOB_QUEUED      = WM_USER + 2;   // window     0                    0
constexpr UINT WM_JOB_DONE        = WM_USER + 3;   // window     JobRecord* (to free) ResultCode
constexpr UINT WM_JOB_PHASE       = WM_USER + 4;   // window     phase 1..6           kProgressRange
constexpr UINT WM_JOB_PROGRESS    = WM_USER + 5;   // window     0                    percent 0..100
constexpr UINT WM_BATCH_DONE      = WM_USER + 6;   // window     DriveJobRecord*      kBatchComplete / kBatchIncomplete
constexpr UINT WM_BATCH_END       = WM_USER + 7;   // worker     DriveJobRecord*      walk result 1 / 0
constexpr UINT WM_WATCH_SKIP_END  = WM_USER + 8;   // worker     0                    0
constexpr UINT WM_REPLACE_ALL_END = WM_USER + 9;   // worker     0                    0
constexpr UINT WM_REPLACE_QUERY   = WM_USER + 10;  // window     kReplaceMode...      uint32_t* answer; then set the reply event
