#include "drives/drive_watchers.h"

#include <process.h>

#include <new>

#include "container/drive_watcher.h"

namespace {

// The list's lock is recursive: these run under it whether the caller holds
// it already or not.
class ListLock {
public:
    ListLock() { LockDriveList(); }
    ~ListLock() { UnlockDriveList(); }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;
};

bool AnyAutoCompress() {
    for (const DriveEntry* e = DriveListHead(); e != nullptr; e = e->next) {
        if (e->autoCompress) return true;
    }
    return false;
}

}  // namespace

unsigned __stdcall WatcherThread(void* startRecord) {
    auto* record = static_cast<WatcherStartRecord*>(startRecord);
    const HWND frame = record->frameWindow;
    const HANDLE stopEvent = record->stopEvent;
    const DWORD workerThreadId = record->workerThreadId;
    wchar_t driveName[kDriveNameUnits];
    lstrcpynW(driveName, record->driveName, kDriveNameUnits);
    delete record;

    // Whoever holds the list may be waiting for this thread to stop.
    int isTarget = 0;
    if (GetDriveStateUnlessStopped(driveName, stopEvent, &isTarget, nullptr) != 1) return 0;
    WatchDriveChanges(frame, stopEvent, workerThreadId, driveName,
                      isTarget ? kOperationCompress : kOperationDecompress);
    return 0;
}

int StartWatcher(HWND frameWindow, DWORD workerThreadId, DriveEntry* entry) {
    ListLock lock;
    if (entry->watcherThread != nullptr) {
        if (WaitForSingleObject(entry->watcherThread, 0) == WAIT_TIMEOUT) return 0;
        CloseHandle(entry->watcherThread);
        entry->watcherThread = nullptr;
        entry->watcherThreadId = 0;
    }
    ResetEvent(entry->stopEvent);

    auto* record = new (std::nothrow) WatcherStartRecord{};
    if (record == nullptr) return 0;
    record->frameWindow = frameWindow;
    record->stopEvent = entry->stopEvent;
    record->workerThreadId = workerThreadId;
    lstrcpynW(record->driveName, entry->name, kDriveNameUnits);

    unsigned threadId = 0;
    const uintptr_t thread = _beginthreadex(nullptr, 0, WatcherThread, record, 0, &threadId);
    if (thread == 0) {
        delete record;
        return 0;
    }
    entry->watcherThread = reinterpret_cast<HANDLE>(thread);
    entry->watcherThreadId = threadId;
    return 1;
}

void StopWatcher(DriveEntry* entry) {
    ListLock lock;
    if (entry->watcherThread == nullptr) return;
    SetEvent(entry->stopEvent);
    // Until it has ended, however long: the thread uses the entry's stop
    // event, and every wait of it also waits for that event.
    WaitForSingleObject(entry->watcherThread, INFINITE);
    CloseHandle(entry->watcherThread);
    entry->watcherThread = nullptr;
    entry->watcherThreadId = 0;
}

int UpdateWatchers(HWND frameWindow, DWORD workerThreadId, wchar_t* names) {
    ListLock lock;
    int used = 0;
    names[0] = L'\0';
    if (!AnyAutoCompress()) {
        for (DriveEntry* e = DriveListHead(); e != nullptr; e = e->next) StopWatcher(e);
        return 0;
    }
    int started = 0;
    for (DriveEntry* e = DriveListHead(); e != nullptr; e = e->next) {
        if (!e->isTarget) {
            StartWatcher(frameWindow, workerThreadId, e);
        } else if (!e->autoCompress) {
            StopWatcher(e);
        } else if (StartWatcher(frameWindow, workerThreadId, e) == 1) {
            started = 1;
            const int length = lstrlenW(e->name);
            // Name, its NUL and the closing NUL.
            if (used + length + 2 <= kWatcherNamesUnits) {
                CopyMemory(names + used, e->name, length * sizeof(wchar_t));
                used += length;
                names[used++] = L'\0';
            }
        }
    }
    names[used] = L'\0';
    return started;
}
