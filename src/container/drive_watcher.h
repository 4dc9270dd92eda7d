// Watching a whole drive for added files: on a target drive every eligible
// file added is queued for compression, on any other watched drive every
// container added is queued for decompression. Only additions count: a
// file renamed within the drive or changed in place is not queued.
#pragma once

#include <windows.h>

#include <cstdint>

#include "container/job_protocol.h"

// Bytes of each of the two change buffers.
constexpr DWORD kChangeBufferBytes = 16384;

// Watches driveName ("E:") until stopEvent (auto-reset) is set or a
// failure ends it; mode is kOperationCompress or kOperationDecompress.
// Failures end the watch without a message. One buffer is read into by the
// system while the other is queued; a read that overflowed (0 bytes, or the
// system's "enumerate the folder" answer) queues nothing and the watch goes
// on. Returns 0.
DWORD WatchDriveChanges(HWND notifyWindow, HANDLE stopEvent, DWORD workerThreadId, const wchar_t* driveName,
                        uint32_t mode);

// Queues the files added according to count bytes of change records in
// buffer (DWORD-aligned): each one whose name is shorter than 260 units and
// whose extension passes the filter for mode, as folder = root and name =
// the name relative to it. Records that would reach beyond count are not
// read. 1, or 0 when a job could not be allocated or handed over (stopEvent
// seen, worker gone); the watch ends then.
int QueueNotifiedFiles(HWND window, DWORD workerThreadId, const wchar_t* root, uint32_t mode, const void* buffer,
                       DWORD count, HANDLE stopEvent = nullptr);
