// Asking the notify window whether an existing target may be replaced.
#pragma once

#include <windows.h>

#include "container/result_code.h"

// Resets reply, posts WM_REPLACE_QUERY(mode, &answer) to frame and waits for
// reply without time-out. Yes: 0. Yes to All: 0, *replaceAll set, and
// WM_REPLACE_ALL_END posted to the calling thread's queue. No:
// kResultDeclined. Cancel: kResultCancelled. Without a window to ask (the
// post fails) nobody could answer, so the job is cancelled instead of
// waiting for ever.
[[nodiscard]] ResultCode AskReplace(HWND frame, HANDLE reply, uint32_t mode, bool* replaceAll);
