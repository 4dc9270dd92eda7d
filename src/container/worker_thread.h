// The one thread of a process that runs compress and decompress jobs, one
// after the other, in the order they were posted to its queue.
//
// Starting it: set both job counters to 0 (ResetJobCounters), start the
// thread on WorkerThread with a WorkerStartRecord allocated with new, wait
// for the record's ready event, and only then post WM_JOB_SUBMIT. End it by
// posting WM_QUIT to it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "container/job_protocol.h"

// Thread procedure. Reports each job with exactly one WM_JOB_DONE to the
// record's notify window; answers WM_BATCH_END with WM_BATCH_DONE. Jobs
// and batch-end records still queued behind WM_QUIT are deleted unrun. Deletes the start record
// and returns 0.
unsigned __stdcall WorkerThread(void* startRecord);

// Runs one job: the cancel test, the naming rules, the display name for
// the progress dialog, then the compress-file or decompress-file operation.
// replaceAll is the worker's Yes-to-All flag.
[[nodiscard]] ResultCode RunJob(const WorkerStartRecord& record, JobRecord* job, bool* replaceAll);

// The two process-wide counters of the batch in progress: jobs received and
// jobs handled without failure since the last batch end.
struct JobCounters {
    uint32_t received;
    uint32_t handled;
};
void ResetJobCounters();
JobCounters GetJobCounters();
