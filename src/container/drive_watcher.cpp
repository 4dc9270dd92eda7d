#include "container/drive_watcher.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "container/eligibility.h"
#include "container/job_post.h"
#include "container/naming.h"
#include "base/win_handle.h"

namespace {

// Names of 260 units or more cannot be a job's name.
constexpr DWORD kLongestNameBytes = 519;
constexpr DWORD kRecordHeaderBytes = offsetof(FILE_NOTIFY_INFORMATION, FileName);

struct ChangeBuffer {
    DWORD data[kChangeBufferBytes / sizeof(DWORD)];
    DWORD count;
};

class ChangeReader {
public:
    ChangeReader(HANDLE folder, HANDLE event) : folder_(folder), event_(event) {}

    // Starts the next overlapped read of the whole sub-tree into buffer.
    bool Start(ChangeBuffer& buffer) {
        overlapped_ = OVERLAPPED{};
        overlapped_.hEvent = event_;
        ResetEvent(event_);
        return ReadDirectoryChangesW(folder_, buffer.data, kChangeBufferBytes, TRUE, FILE_NOTIFY_CHANGE_FILE_NAME,
                                     nullptr, &overlapped_, nullptr) != FALSE;
    }

    // Waits for the stop event (first) or the read; false for the stop or
    // any failure.
    bool Wait(HANDLE stopEvent, ChangeBuffer& buffer) {
        const HANDLE events[2] = {stopEvent, event_};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return false;
        DWORD delivered = 0;
        if (!GetOverlappedResult(folder_, &overlapped_, &delivered, TRUE)) {
            // More changes came than the system could hold for the next read:
            // they are lost, but the watch goes on (ending it here would lose
            // every later file of the drive as well).
            if (GetLastError() != ERROR_NOTIFY_ENUM_DIR) return false;
            delivered = 0;
        }
        buffer.count = delivered;
        return true;
    }

    // A read still running writes into its buffer until it is cancelled.
    void CancelPending() {
        if (CancelIo(folder_)) {
            DWORD ignored = 0;
            GetOverlappedResult(folder_, &overlapped_, &ignored, TRUE);
        }
    }

private:
    HANDLE folder_;
    HANDLE event_;
    OVERLAPPED overlapped_{};
};

}  // namespace

int QueueNotifiedFiles(HWND window, DWORD workerThreadId, const wchar_t* root, uint32_t mode, const void* buffer,
                       DWORD count, HANDLE stopEvent) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    DWORD offset = 0;
    while (offset < count && count - offset >= kRecordHeaderBytes) {
        const auto* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(bytes + offset);
        const DWORD nameBytes = change->FileNameLength;
        const bool whole = nameBytes <= count - offset - kRecordHeaderBytes;
        if (whole && change->Action == FILE_ACTION_ADDED && nameBytes <= kLongestNameBytes) {
            wchar_t name[kPathUnits + 1];
            const DWORD units = nameBytes / sizeof(wchar_t);
            std::memcpy(name, change->FileName, units * sizeof(wchar_t));
            name[units] = L'\0';
            if (ExtensionFilter(mode, PathExtension(name)) && units < kPathUnits) {
                auto* job = new (std::nothrow) JobRecord{};
                if (job == nullptr) return 0;
                lstrcpynW(job->folder, root, kPathUnits);
                lstrcpynW(job->name, name, kPathUnits);
                job->operation = mode;
                job->retryMark = 0;
                if (!SubmitJob(window, workerThreadId, job, kSubmitWatcherJob, stopEvent)) return 0;
            }
        }
        if (change->NextEntryOffset == 0) break;
        offset += change->NextEntryOffset;
    }
    return 1;
}

DWORD WatchDriveChanges(HWND notifyWindow, HANDLE stopEvent, DWORD workerThreadId, const wchar_t* driveName,
                        uint32_t mode) {
    wchar_t root[kPathUnits];
    if (!JoinPath(root, kPathUnits, driveName, L"\\")) return 0;
    EventHandle readEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!readEvent.Valid()) return 0;
    FileHandle folder(CreateFileW(root, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    if (!folder.Valid()) return 0;

    // 32 KB of buffers: on the heap, not on a watcher's stack.
    auto* buffers = new (std::nothrow) ChangeBuffer[2]{};
    if (buffers == nullptr) return 0;
    ChangeBuffer& a = buffers[0];
    ChangeBuffer& b = buffers[1];
    ChangeReader reader(folder.Get(), readEvent.Get());
    if (reader.Start(a)) {
        // b is empty on the first pass: the first wait comes after it.
        for (;;) {
            if (!QueueNotifiedFiles(notifyWindow, workerThreadId, root, mode, b.data, b.count, stopEvent)) break;
            if (!reader.Wait(stopEvent, a)) break;
            if (!reader.Start(b)) break;
            if (!QueueNotifiedFiles(notifyWindow, workerThreadId, root, mode, a.data, a.count, stopEvent)) break;
            if (!reader.Wait(stopEvent, b)) break;
            if (!reader.Start(a)) break;
        }
        reader.CancelPending();
    }
    delete[] buffers;
    return 0;
}
