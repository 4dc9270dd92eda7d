#include "container/file_steps.h"

#include "container/eligibility.h"
#include "container/file_transfer.h"
#include "container/naming.h"
#include "container/shell_notify.h"

FileStepsPlatform& FileStepsApi()
{
    static FileStepsPlatform platform;
    return platform;
}

ResultCode OpenSourceWithRetry(HANDLE cancel, const wchar_t* path, FileHandle* file)
{
    for (int attempt = 1;; ++attempt) {
        HANDLE handle = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                    nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file->Reset(handle);
            return 0;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION)
            return GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES ? kOpenNotFound : kOpenFailed;
        if (IsSignalled(cancel))
            return kResultCancelled;
        if (attempt == kOpenAttempts)
            return kResultInUse;
        if (WaitForCancel(cancel, kOpenRetryDelayMs))
            return kResultCancelled;
    }
}

bool CreateUniqueFile(const wchar_t* folder, wchar_t (&unique)[kPathUnits])
{
    unique[0] = 0;
    // Windows refuses a folder longer than this (Wine does not, and would
    // make names that some calls later refuse).
    if (Utf16Length(folder) > MAX_PATH - 14)
        return false;
    // Wine writes up to MAX_PATH + 1 units.
    wchar_t name[MAX_PATH + 2] = {};
    if (GetTempFileNameW(folder, L"tdz", 0, name) == 0)
        return false;
    if (Utf16Length(name) >= kPathUnits) {
        DeleteFileW(name);
        return false;
    }
    lstrcpynW(unique, name, kPathUnits);
    NotifyCreated(unique);
    return true;
}

ResultCode CreateHiddenOutput(wchar_t (&path)[kPathUnits], FileHandle* file)
{
    constexpr DWORD kFlags = FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_SEQUENTIAL_SCAN;
    HANDLE handle = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, kFlags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return kOutputNotCreatable;
        // The name is someone's file (or a folder): a free one beside it,
        // made by the system and so ours alone, is opened instead.
        wchar_t folder[kPathUnits];
        ParentFolder(path, folder);
        wchar_t unique[kPathUnits];
        if (!CreateUniqueFile(folder, unique))
            return kOutputNotCreatable;
        handle = CreateFileW(unique, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, kFlags, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            DeleteFileNotify(unique);
            return kOutputNotCreatable;
        }
        SetFileAttributesW(unique, FILE_ATTRIBUTE_HIDDEN);
        lstrcpynW(path, unique, kPathUnits);
    }
    file->Reset(handle);
    return 0;
}

bool MoveIntoPlace(const wchar_t* finishedPath, const wchar_t* finalPath)
{
    const DWORD finalAttributes = GetFileAttributesW(finalPath);
    const bool finalExists = finalAttributes != INVALID_FILE_ATTRIBUTES;
    // Moving a folder aside would succeed, but it could never be deleted
    // as a file afterwards: it would stay behind under a "tdz" name.
    if (finalExists && (finalAttributes & kAttributeDirectory) != 0)
        return false;

    wchar_t setAside[kPathUnits] = {};
    if (finalExists) {
        wchar_t folder[kPathUnits];
        ParentFolder(finalPath, folder);
        if (!CreateUniqueFile(folder, setAside))
            return false;
        if (!MoveFileExW(finalPath, setAside, MOVEFILE_REPLACE_EXISTING)) {
            DeleteFileNotify(setAside);
            return false;
        }
        NotifyMoved(finalPath, setAside);
    }

    if (!MoveFileExW(finishedPath, finalPath, MOVEFILE_REPLACE_EXISTING)) {
        if (finalExists && MoveFileExW(setAside, finalPath, MOVEFILE_REPLACE_EXISTING))
            NotifyMoved(setAside, finalPath);
        return false;
    }
    NotifyMoved(finishedPath, finalPath);
    if (finalExists)
        DeleteFileNotify(setAside);
    return true;
}

bool DeleteFileNotify(const wchar_t* path)
{
    const DWORD oldAttributes = GetFileAttributesW(path);
    if (SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL))
        NotifyAttributesChanged(path);
    if (DeleteFileW(path)) {
        NotifyDeleted(path);
        return true;
    }
    // A file that stays must not lose its read-only or other bits.
    if (oldAttributes != INVALID_FILE_ATTRIBUTES && oldAttributes != FILE_ATTRIBUTE_NORMAL &&
        SetFileAttributesW(path, oldAttributes))
        NotifyAttributesChanged(path);
    return false;
}
