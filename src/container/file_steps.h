// The small file steps that the compress and decompress operations share:
// opening a source that may still be busy, creating the hidden output,
// moving a finished file over its final name, and deleting with notice to
// the shell.
#pragma once

#include <windows.h>

#include "container/result_code.h"
#include "base/win_handle.h"

// The platform call that gives a finished file its final attributes. A seam
// so that tests can make it fail as a full directory or a network drive may.
struct FileStepsPlatform {
    BOOL(WINAPI* setFileAttributes)(LPCWSTR path, DWORD attributes) = SetFileAttributesW;
};
FileStepsPlatform& FileStepsApi();

// How often and how far apart a source held open by another program is
// tried before the job gives up with kResultInUse.
constexpr int kOpenAttempts = 4;
constexpr DWORD kOpenRetryDelayMs = 500;

// Opens path for reading with no sharing, for sequential access. A sharing
// violation is retried kOpenAttempts times kOpenRetryDelayMs apart (cancel,
// if given, ends the wait with kResultCancelled). 0 with *file open, or
// kResultCancelled, kResultInUse, kOpenNotFound, kOpenFailed.
[[nodiscard]] ResultCode OpenSourceWithRetry(HANDLE cancel, const wchar_t* path, FileHandle* file);

#include "container/job_constants.h"

// Creates a new file for writing, no sharing, hidden, sequential, at path
// or, when that name is taken, at a free "tdz" unique name in the same
// folder (path is then changed to it). An existing file is never opened,
// truncated or followed. 0 or kOutputNotCreatable.
[[nodiscard]] ResultCode CreateHiddenOutput(wchar_t (&path)[kPathUnits], FileHandle* file);

// Creates an empty file of a free name "tdzXXXX.tmp" in folder (ending with
// a separator or not) and puts its path in unique. False when the folder is
// too deep for the name (or the 260-unit buffer) or no name is free; unique
// is then empty. The platform's GetTempFileNameW, given a buffer of the 261
// units Wine may write.
[[nodiscard]] bool CreateUniqueFile(const wchar_t* folder, wchar_t (&unique)[kPathUnits]);

// Moves finishedPath onto finalPath. An existing final file is first set
// aside under a "tdz" unique name in its folder, deleted once the new one is
// in place, and moved back if the new one cannot be. A folder of the final
// name is never replaced. False when finalPath does not hold the finished
// file; whatever was there before is then still there.
[[nodiscard]] bool MoveIntoPlace(const wchar_t* finishedPath, const wchar_t* finalPath);

// Clears the attributes (so read-only files go too), deletes, and tells the
// shell. When the delete fails the old attributes are put back. Returns
// whether the file was deleted.
bool DeleteFileNotify(const wchar_t* path);
