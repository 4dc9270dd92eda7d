#include "container/parking.h"

#include "container/file_steps.h"
#include "container/job_reports.h"
#include "container/naming.h"
#include "container/shell_notify.h"
#include "base/win_handle.h"

namespace {

// A copy keeps the attributes and the last-write time on Windows, but gets
// a new creation time, and some copies (Wine's onto an existing name) keep
// neither. Whatever is parked must carry all of them for the way back.
bool SetTimesAndAttributes(const wchar_t* path, const WIN32_FILE_ATTRIBUTE_DATA& info)
{
    {
        // Not while it may be read-only: that could refuse the open.
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
        FileHandle file(CreateFileW(path, FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file.Valid() || !SetFileTime(file.Get(), &info.ftCreationTime, nullptr, &info.ftLastWriteTime))
            return false;
    }
    if (!SetFileAttributesW(path, info.dwFileAttributes))
        return false;
    NotifyAttributesChanged(path);
    return true;
}

}  // namespace

ParkingPlatform& ParkingApi()
{
    static ParkingPlatform platform;
    return platform;
}

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

    WIN32_FILE_ATTRIBUTE_DATA info;
    CopyProgressContext copy{frame, cancel};
    ResultCode result = 0;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &info))
        result = kParkCopyFailed;
    else if (!ParkingApi().copyFileEx(path, parkedPath, CopyProgress, &copy, nullptr, 0))
        result = copy.cancelled ? kResultCancelled : kParkCopyFailed;
    else if (!SetTimesAndAttributes(parkedPath, info))
        result = kParkCopyFailed;

    if (result == 0) {
        FileHandle check(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!check.Valid())
            result = GetLastError() == ERROR_SHARING_VIOLATION ? kParkSourceInUse : kParkSourceUnopenable;
        check.Reset();
        if (result == 0 && !DeleteFileNotify(path))
            result = kParkSourceUndeletable;
    }
    if (result != 0) {
        // The unique name exists (empty, partly or wholly copied): it must
        // not stay behind.
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

    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExW(parkedPath, GetFileExInfoStandard, &info)) {
        DeleteFileNotify(copyPath);
        return kRestoreAttributesUnreadable;
    }
    // The copy takes the attributes along: hidden until it has its name.
    if (!SetFileAttributesW(parkedPath, info.dwFileAttributes | FILE_ATTRIBUTE_HIDDEN)) {
        DeleteFileNotify(copyPath);
        return kRestoreAttributesNotSet;
    }
    NotifyAttributesChanged(parkedPath);

    // Not cancellable: the cancel that made the job fail is likely still
    // set, and cancelling here would leave the source in the temporary
    // folder.
    CopyProgressContext copy{frame, nullptr};
    ResultCode result = 0;
    WIN32_FILE_ATTRIBUTE_DATA hiddenInfo = info;
    hiddenInfo.dwFileAttributes = FILE_ATTRIBUTE_HIDDEN;
    if (!ParkingApi().copyFileEx(parkedPath, copyPath, CopyProgress, &copy, nullptr, 0)) {
        result = kRestoreCopyFailed;
    } else {
        NotifyCreated(copyPath);
        if (!SetTimesAndAttributes(copyPath, hiddenInfo))
            result = kRestoreCopyFailed;
        // Never over a file that took the name meanwhile.
        else if (!MoveFileExW(copyPath, path, 0))
            result = kRestoreMoveFailed;
    }
    if (result != 0) {
        // The parked copy may now be the only one: it stays, as it was.
        DeleteFileNotify(copyPath);
        if (SetFileAttributesW(parkedPath, info.dwFileAttributes))
            NotifyAttributesChanged(parkedPath);
        return result;
    }
    NotifyMoved(copyPath, path);
    if (SetFileAttributesW(path, info.dwFileAttributes))
        NotifyAttributesChanged(path);
    DeleteFileNotify(parkedPath);
    return 0;
}
