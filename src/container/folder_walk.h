// The whole-drive walk: every eligible file of a drive queued for
// compression as one batch.
#pragma once

#include <windows.h>

#include "container/job_protocol.h"

// Units of a walk's path buffers: deeper than one job's path may reach.
constexpr int kWalkPathUnits = 521;

// One whole-drive batch. The frame allocates it zero-filled, hands it to
// the walk thread and deletes it when WM_BATCH_DONE brings it back; the walk
// only reads it and passes it on through the worker.
struct DriveJobRecord {
    HWND notifyWindow;        // the frame
    HANDLE batchCancelEvent;  // auto-reset; the worker sets it when the batch is cancelled
    DWORD workerThreadId;     // runs the batch's jobs
    wchar_t driveName[4];     // "E:"
};

// Thread procedure: walks the drive from its root and ends the batch with
// WM_BATCH_END(record, walk result) to the worker. When the worker is gone
// the frame gets WM_BATCH_DONE(record, 0) directly, so the record still
// comes back. Returns 0.
unsigned __stdcall WalkThread(void* driveJobRecord);

// Queues every eligible file under folder (which ends with "\"), sub-folders
// first as they come. 1 when the folder was walked to its end (an
// unreadable folder counts as walked), 0 when the walk was stopped: the
// batch-cancel event was seen or a job could not be handed over.
int WalkFolder(const DriveJobRecord& record, const wchar_t* folder);
