// Phase and progress reports of a running job to its notify window. Both
// are posted, never sent: the worker must not wait on the window's thread.
#pragma once

#include <windows.h>

#include <cstdint>

// WM_JOB_PHASE(phase, kProgressRange), when frame is not null.
void PostPhase(HWND frame, uint32_t phase);

// The percentage of done in total (100 when total is 0).
[[nodiscard]] uint32_t ProgressPercent(uint64_t done, uint64_t total);

// WM_JOB_PROGRESS(0, percent), when frame is not null.
void PostProgress(HWND frame, uint32_t percent);
