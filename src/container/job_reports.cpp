#include "container/job_reports.h"

#include <cstdint>

#include "container/job_protocol.h"

void PostPhase(HWND frame, uint32_t phase)
{
    if (frame != nullptr)
        PostMessageW(frame, WM_JOB_PHASE, phase, kProgressRange);
}

uint32_t ProgressPercent(uint64_t done, uint64_t total)
{
    if (total == 0 || done >= total)
        return 100;
    if (total > UINT64_MAX / 100)
        return static_cast<uint32_t>(done / (total / 100));
    return static_cast<uint32_t>(done * 100 / total);
}

void PostProgress(HWND frame, uint32_t percent)
{
    if (frame != nullptr)
        PostMessageW(frame, WM_JOB_PROGRESS, 0, percent);
}
