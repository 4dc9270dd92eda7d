#include "container/job_post.h"

namespace {

BOOL WINAPI RealPostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostThreadMessageW(threadId, message, wParam, lParam);
}

BOOL WINAPI RealPostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(window, message, wParam, lParam);
}

constexpr JobPostApi kRealApi = {RealPostThreadMessage, RealPostMessage};
JobPostApi g_api = kRealApi;

volatile LONG g_waitingForWorker = 0;

// The error a post meets when the receiver's queue is full.
bool QueueWasFull() { return GetLastError() == ERROR_NOT_ENOUGH_QUOTA; }

// Waits one retry pause; true when the stop event was seen meanwhile.
bool PauseOrStopped(HANDLE stopEvent) {
    if (stopEvent == nullptr) {
        Sleep(kFullQueueRetryMs);
        return false;
    }
    return WaitForSingleObject(stopEvent, kFullQueueRetryMs) == WAIT_OBJECT_0;
}

}  // namespace

void SetJobPostApi(const JobPostApi* api) { g_api = api != nullptr ? *api : kRealApi; }

long JobsWaitingForWorker() { return InterlockedCompareExchange(&g_waitingForWorker, 0, 0); }

void NoteJobTakenByWorker() { InterlockedDecrement(&g_waitingForWorker); }

void NoteJobPostedToWorker() { InterlockedIncrement(&g_waitingForWorker); }

bool PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam, HANDLE stopEvent) {
    for (;;) {
        if (g_api.postMessage(window, message, wParam, lParam)) return true;
        if (!QueueWasFull() || !IsWindow(window)) return false;
        if (PauseOrStopped(stopEvent)) return false;
    }
}

bool PostToThread(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam, HANDLE stopEvent) {
    for (;;) {
        if (g_api.postThreadMessage(threadId, message, wParam, lParam)) return true;
        if (!QueueWasFull()) return false;
        if (PauseOrStopped(stopEvent)) return false;
    }
}

bool PostToThreadOnce(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    return g_api.postThreadMessage(threadId, message, wParam, lParam) != FALSE;
}

void HandJobBack(HWND window, JobRecord* job, ResultCode result) {
    if (!PostToWindow(window, WM_JOB_DONE, reinterpret_cast<WPARAM>(job), static_cast<LPARAM>(result))) {
        delete job;
    }
}

bool SubmitJob(HWND window, DWORD workerThreadId, JobRecord* job, UINT batchFlag, HANDLE stopEvent) {
    // Room for the worker's own posts (retries, end markers) stays free.
    while (JobsWaitingForWorker() >= kJobQueueSoftLimit) {
        if (PauseOrStopped(stopEvent)) {
            delete job;
            return false;
        }
    }
    if (!PostToWindow(window, WM_JOB_QUEUED, 0, 0, stopEvent)) {
        // Not counted by the window, so nothing to balance.
        delete job;
        return false;
    }
    InterlockedIncrement(&g_waitingForWorker);
    if (PostToThread(workerThreadId, WM_JOB_SUBMIT, reinterpret_cast<WPARAM>(job), batchFlag, stopEvent)) {
        return true;
    }
    InterlockedDecrement(&g_waitingForWorker);
    HandJobBack(window, job, kResultCancelled);
    return false;
}
