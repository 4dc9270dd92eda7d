// Handing jobs and reports between threads without losing a record.
//
// A posted message can fail: the receiving thread is gone, or its queue is
// full (Windows takes at most 10000 posted messages per thread). A record
// that rides on a failed post would be lost, and the notify window, which
// counts jobs by WM_JOB_QUEUED and WM_JOB_DONE, would count wrong. So the
// producers keep the worker's queue below a soft limit (leaving room for the
// worker's posts to itself), wait while a queue is full, and when a job
// cannot be handed to the worker at all they give it back to the notify
// window as cancelled (WM_JOB_DONE with kResultCancelled), which frees it
// and balances its WM_JOB_QUEUED.
#pragma once

#include <windows.h>

#include "container/job_protocol.h"

// The posting calls, replaceable by tests: Wine does not cap a thread's
// queue, so a full queue can only be shown through them.
struct JobPostApi {
    BOOL(WINAPI* postThreadMessage)(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL(WINAPI* postMessage)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// Installs api (copied); null restores the real calls. Not for use while
// jobs are being handed over.
void SetJobPostApi(const JobPostApi* api);

// Jobs posted to a worker (by any producer of this process) and not yet
// taken by it. Producers wait while it is at kJobQueueSoftLimit.
constexpr long kJobQueueSoftLimit = 8000;
long JobsWaitingForWorker();

// The rest of the count: the worker notes each job it takes from its queue
// and each one it posts there again; whoever posts WM_JOB_SUBMIT without
// SubmitJob (a single request) notes it as posted.
void NoteJobTakenByWorker();
void NoteJobPostedToWorker();

// Pause between two attempts of a post that met a full queue.
constexpr DWORD kFullQueueRetryMs = 10;

// Announces the job to window (WM_JOB_QUEUED) and submits it to the worker
// (WM_JOB_SUBMIT with batchFlag). Waits while the worker's queue is full or
// at the soft limit; stopEvent (an auto-reset event, or null) ends the wait.
// Returns true when the worker has the job. Returns false when the job was
// not handed over: the stop event was seen (and so consumed), the worker
// is gone, or the window cannot be told; the record has then been given
// back to window with WM_JOB_DONE(job, kResultCancelled), or deleted when
// window never counted it or is gone. Either way the caller no longer owns
// job.
[[nodiscard]] bool SubmitJob(HWND window, DWORD workerThreadId, JobRecord* job, UINT batchFlag, HANDLE stopEvent);

// Posts to a window, waiting while its queue is full and stopEvent (or
// null) is unsignalled. False when the window is gone, the post fails
// otherwise, or the stop event was seen.
[[nodiscard]] bool PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                HANDLE stopEvent = nullptr);

// Posts to a thread, waiting while its queue is full and stopEvent (or null)
// is unsignalled. False when the thread is gone, the post fails otherwise,
// or the stop event was seen.
[[nodiscard]] bool PostToThread(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam, HANDLE stopEvent);

// One attempt to post to a thread, for a thread posting to itself (it
// cannot wait for its own queue to drain).
[[nodiscard]] bool PostToThreadOnce(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);

// Gives a job that will not run back to window as WM_JOB_DONE with result,
// or deletes it when the window cannot take it.
void HandJobBack(HWND window, JobRecord* job, ResultCode result);
