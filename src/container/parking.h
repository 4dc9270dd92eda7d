// Parking a source in the user's temporary folder when its drive has no
// room for the output beside it, and putting it back when the job fails.
#pragma once

#include <windows.h>

#include <cstdint>

#include "container/job_constants.h"
#include "container/result_code.h"

// The platform's copy with progress. A seam because Wine's CopyFileExW
// never calls the progress routine (so a copy could not be cancelled
// there); tests put a copy in its place that behaves as Windows does.
using CopyFileExFunction = BOOL(WINAPI*)(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE progress, LPVOID context,
                                         LPBOOL cancel, DWORD flags);
struct ParkingPlatform {
    CopyFileExFunction copyFileEx = CopyFileExW;
};
ParkingPlatform& ParkingApi();

// What CopyProgress is given with each copy.
struct CopyProgressContext {
    HWND frame;              // receives WM_JOB_PROGRESS, or null
    HANDLE cancel;           // cancels the copy when set, or null
    bool cancelled = false;  // set when the copy was cancelled through cancel
    uint32_t lastPercent = ~0u;
};

// The progress routine of CopyFileExW: cancels the copy when the cancel
// event is set, else reports the percentage to the frame and goes on.
DWORD CALLBACK CopyProgress(LARGE_INTEGER totalSize, LARGE_INTEGER transferred, LARGE_INTEGER streamSize,
                            LARGE_INTEGER streamTransferred, DWORD streamNumber, DWORD reason,
                            HANDLE sourceFile, HANDLE destinationFile, LPVOID context);

// Copies path to a "tdz" unique name in the temporary folder, with its
// attributes and time stamps, checks that no other program holds path, then
// deletes path. 0 with the copy's name in
// parkedPath; otherwise path is as it was, no copy is left, and the result
// is kResultCancelled, kParkNoTempFolder, kParkNoUniqueName, kParkCopyFailed,
// kParkSourceInUse, kParkSourceUnopenable or kParkSourceUndeletable.
[[nodiscard]] ResultCode MoveToTempFolder(HWND frame, HANDLE cancel, const wchar_t* path,
                                          wchar_t (&parkedPath)[kPathUnits]);

// Copies the parked file back to path under a hidden "tdz" unique name in
// path's folder, moves it to path with the parked copy's attributes and
// time stamps, and deletes the parked copy. Never cancelled: cancel is ignored here, so that a source is
// not left in the temporary folder. When it fails the parked copy is kept
// (it may be the only one) and nothing is left in path's folder.
ResultCode RestoreFromTemp(HWND frame, HANDLE cancel, const wchar_t* parkedPath, const wchar_t* path);
