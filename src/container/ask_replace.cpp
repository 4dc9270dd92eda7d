#include "container/ask_replace.h"

#include "container/job_protocol.h"

ResultCode AskReplace(HWND frame, HANDLE reply, uint32_t mode, bool* replaceAll)
{
    // Cancel unless the window stores another answer: a window that only
    // sets the event must not make us replace anything. The window writes
    // it on its own thread before it sets reply; the wait orders that write
    // before our read.
    uint32_t answer = kAnswerCancel;
    ResetEvent(reply);
    if (frame == nullptr || !PostMessageW(frame, WM_REPLACE_QUERY, mode, reinterpret_cast<LPARAM>(&answer)))
        return kResultCancelled;
    if (WaitForSingleObject(reply, INFINITE) != WAIT_OBJECT_0)
        return kResultCancelled;

    switch (answer) {
    case kAnswerYesToAll:
        if (replaceAll != nullptr)
            *replaceAll = true;
        // Queued behind the jobs already waiting: they are the ones the
        // answer covers.
        PostThreadMessageW(GetCurrentThreadId(), WM_REPLACE_ALL_END, 0, 0);
        return 0;
    case kAnswerNo:
        return kResultDeclined;
    case kAnswerCancel:
        return kResultCancelled;
    default:
        return 0;
    }
}
