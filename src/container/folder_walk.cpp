#include "container/folder_walk.h"

#include <cwchar>
#include <new>

#include "container/eligibility.h"
#include "container/job_post.h"
#include "container/naming.h"

namespace {

bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool IsCancelled(const DriveJobRecord& record) {
    // Auto-reset: a test that finds it set also clears it.
    return record.batchCancelEvent != nullptr && WaitForSingleObject(record.batchCancelEvent, 0) == WAIT_OBJECT_0;
}

// path = folder, name and "\\", when it fits a walk buffer.
bool JoinFolder(wchar_t (&path)[kWalkPathUnits], const wchar_t* folder, const wchar_t* name) {
    if (!JoinPath(path, kWalkPathUnits, folder, name)) return false;
    const size_t length = std::wcslen(path);
    if (length + 2 > kWalkPathUnits) return false;
    path[length] = L'\\';
    path[length + 1] = L'\0';
    return true;
}

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (Valid()) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

enum class Queued { kYes, kSkipped, kNoMemory, kStopped };

Queued QueueFile(const DriveJobRecord& record, const wchar_t* folder, const wchar_t* name) {
    // A job holds folder and name in buffers of their own: a path that does
    // not fit them is never cut, it is left alone. (A folder that long could
    // not be searched by the platform to begin with.)
    if (Utf16Length(folder) >= kPathUnits || Utf16Length(name) >= kPathUnits) return Queued::kSkipped;
    auto* job = new (std::nothrow) JobRecord{};
    if (job == nullptr) return Queued::kNoMemory;
    lstrcpynW(job->folder, folder, kPathUnits);
    lstrcpynW(job->name, name, kPathUnits);
    job->operation = kOperationCompress;
    job->retryMark = 0;
    if (!SubmitJob(record.notifyWindow, record.workerThreadId, job, kSubmitBatchJob, record.batchCancelEvent)) {
        return Queued::kStopped;
    }
    return Queued::kYes;
}

}  // namespace

int WalkFolder(const DriveJobRecord& record, const wchar_t* folder) {
    wchar_t path[kWalkPathUnits];
    if (!JoinPath(path, kWalkPathUnits, folder, L"*.*")) return 1;
    WIN32_FIND_DATAW entry;
    FindHandle search(FindFirstFileW(path, &entry));
    if (!search.Valid()) return 1;

    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsDotEntry(entry.cFileName) && JoinFolder(path, folder, entry.cFileName)) {
                if (WalkFolder(record, path) == 0) return 0;
            }
        } else if (ExtensionFilter(kOperationCompress, PathExtension(entry.cFileName))) {
            switch (QueueFile(record, folder, entry.cFileName)) {
            case Queued::kNoMemory:
                return 1;
            case Queued::kStopped:
                return 0;
            default:
                break;
            }
        }
        if (IsCancelled(record)) return 0;
    } while (FindNextFileW(search.Get(), &entry));
    return 1;
}

unsigned __stdcall WalkThread(void* driveJobRecord) {
    auto* record = static_cast<DriveJobRecord*>(driveJobRecord);
    wchar_t root[kWalkPathUnits];
    int result = 0;
    if (JoinPath(root, kWalkPathUnits, record->driveName, L"\\")) result = WalkFolder(*record, root);
    const WPARAM handle = reinterpret_cast<WPARAM>(record);
    if (!PostToThread(record->workerThreadId, WM_BATCH_END, handle, result, nullptr)) {
        (void)PostToWindow(record->notifyWindow, WM_BATCH_DONE, handle, kBatchIncomplete);
    }
    return 0;
}
