// One watcher thread per listed drive: started and stopped by the drive
// list, it queues the files added to its drive with the worker thread.
#pragma once

#include <windows.h>

#include "drives/drive_list.h"

// What StartWatcher hands to a new watcher thread; the thread copies it and
// deletes it.
struct WatcherStartRecord {
    HWND frameWindow;        // receives WM_JOB_QUEUED and, on a failed hand-over, the job back
    HANDLE stopEvent;        // the entry's own stopEvent, not a duplicate
    DWORD workerThreadId;    // receives WM_JOB_SUBMIT
    wchar_t driveName[kDriveNameUnits];
};

// Thread procedure of a watcher: looks its drive up in the list (compress
// on a target drive, decompress elsewhere) and watches it until the stop
// event is set or a failure ends it. Returns 0.
unsigned __stdcall WatcherThread(void* startRecord);

// Starts the entry's watcher unless one still runs. 1 when a new thread was
// started, else 0 (running already, or no memory or thread).
int StartWatcher(HWND frameWindow, DWORD workerThreadId, DriveEntry* entry);

// Sets the entry's stop event and waits up to 3000 ms for its watcher; the
// handle is closed and the entry cleared either way.
void StopWatcher(DriveEntry* entry);

// Runs the watchers that the flags ask for: none at all when no drive has
// automatic compression on; otherwise every non-target drive's and every
// target's with automatic compression on. Returns 1 when a target watcher
// was newly started; names (128 units) receives those drives as a
// multi-string.
int UpdateWatchers(HWND frameWindow, DWORD workerThreadId, wchar_t* names);

constexpr int kWatcherNamesUnits = 128;
constexpr DWORD kWatcherStopTimeoutMs = 3000;
