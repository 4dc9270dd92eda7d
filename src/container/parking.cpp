#include "container/parking.h"

#include "container/file_steps.h"
#include "container/job_reports.h"
#include "container/naming.h"
#include "container/shell_notify.h"
#include "container/win_handle.h"

DWORD CALLBACK CopyProgress(LARGE_INTEGER totalSize, LARGE_INTEGER transferred, LARGE_INTEGER, LARGE_INTEGER,
                            DWORD, DWORD, HANDLE, HANDLE, LPVOID context)
{
    auto* copy = static_cast<CopyProgressContext*>(context);
    if (copy->cancel != nullptr && WaitForSingleObject(copy->cancel, 0) == WAIT_OBJECT_0) {
        copy->cancelled = true;
        return PROGRESS_CANCEL;
    }
    // The routine runs for every chunk the system copies; one message per
    // percent keeps a large file from flooding the window's queue.
    const uint32_t percent = ProgressPercent(static_cast<uint64_t>(transferred.QuadPart),
                                             static_cast<uint64_t>(totalSize.QuadPart));
    if (percent != copy->lastPercent) {
        copy->lastPercent = percent;
        PostProgress(copy->frame, percent);
    }
    return PROGRESS_CONTINUE;
}

ResultCode MoveToTempFolder(HWND frame, HANDLE cancel, const wchar_t* path, wchar_t (&parkedPath)[kPathUnits])
{
    parkedPath[0] = 0;
    wchar_t tempFolder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, tempFolder);
    if (length == 0 || length > MAX_PATH)
        return kParkNoTempFolder;
    if (GetTempFileNameW(tempFolder, L"tdz", 0, parkedPath) == 0) {
        parkedPath[0] = 0;
        return kParkNoUniqueName;
    }
    NotifyCreated(parkedPath);

    CopyProgressContext copy{frame, cancel};
    if (!CopyFileExW(path, parkedPath, CopyProgress, &copy, nullptr, 0)) {
        // The unique name exists (empty, or a partial copy): it must not
        // stay behind.
        DeleteFileNotify(parkedPath);
        parkedPath[0] = 0;
        return copy.cancelled ? kResultCancelled : kParkCopyFailed;
    }

    ResultCode result = 0;
    FileHandle check(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!check.Valid())
        result = GetLastError() == ERROR_SHARING_VIOLATION ? kParkSourceInUse : kParkSourceUnopenable;
    check.Reset();
    if (result == 0 && !DeleteFileNotify(path))
        result = kParkSourceUndeletable;
    if (result != 0) {
        DeleteFileNotify(parkedPath);
        parkedPath[0] = 0;
    }
    return result;
}

ResultCode RestoreFromTemp(HWND frame, HANDLE /*cancel*/, const wchar_t* parkedPath, const wchar_t* path)
{
    wchar_t folder[kPathUnits];
    ParentFolder(path, folder);
    wchar_t copyPath[MAX_PATH];
    if (GetTempFileNameW(folder, L"tdz", 0, copyPath) == 0)
        return kRestoreCopyFailed;
    NotifyCreated(copyPath);

    const DWORD attributes = GetFileAttributesW(parkedPath);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DeleteFileNotify(copyPath);
        return kRestoreAttributesUnreadable;
    }
    // The copy takes the attributes along: hidden until it has its name.
    if (!SetFileAttributesW(parkedPath, attributes | FILE_ATTRIBUTE_HIDDEN)) {
        DeleteFileNotify(copyPath);
        return kRestoreAttributesNotSet;
    }
    NotifyAttributesChanged(parkedPath);

    // Not cancellable: the cancel that made the job fail is likely still
    // set, and cancelling here would leave the source in the temporary
    // folder.
    CopyProgressContext copy{frame, nullptr};
    ResultCode result = 0;
    if (!CopyFileExW(parkedPath, copyPath, CopyProgress, &copy, nullptr, 0)) {
        result = kRestoreCopyFailed;
    } else {
        NotifyCreated(copyPath);
        // Never over a file that took the name meanwhile.
        if (!MoveFileExW(copyPath, path, 0))
            result = kRestoreMoveFailed;
    }
    if (result != 0) {
        DeleteFileNotify(copyPath);
        if (SetFileAttributesW(parkedPath, attributes))
            NotifyAttributesChanged(parkedPath);
        return result;
    }
    NotifyMoved(copyPath, path);
    if (SetFileAttributesW(path, attributes))
        NotifyAttributesChanged(path);
    DeleteFileNotify(parkedPath);
    return 0;
}
