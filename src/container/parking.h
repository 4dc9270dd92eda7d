// Parking a source in the user's temporary folder when its drive has no
// room for the output beside it, and putting it back when the job fails.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

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

// Parked copies live in a folder of the program's own under the temporary
// folder, "%TEMP%\Tandrel Parked\", as "tdzXXXX.tmp", each with a record
// "tdzXXXX.tmp.origin" beside it: UTF-16 text (with a byte-order mark) whose
// lines are the path it came from, the hidden name reserved in that path's
// folder for the way back, and "reported" once the user was told of it. The
// record is written before the copy, with a line "copying" until the copy is
// complete: such a copy is never put back, and is dropped while its origin
// exists; a line "output=PATH" naming the hidden output its job writes; and
// "done" once the job succeeded (the next start drops such a copy). A process keeps the record of each copy it has in flight open, so
// that no other process (see RestoreParkedCopies) takes a copy that is in
// use.
constexpr wchar_t kParkFolderName[] = L"Tandrel Parked";
constexpr wchar_t kParkRecordSuffix[] = L".origin";

// The folder parked copies go to (ends with "\"), created when create is
// true. False when the temporary folder is unknown or the path too long.
[[nodiscard]] bool ParkFolder(wchar_t (&folder)[kPathUnits], bool create);

// True while this process has a source or container parked in the
// temporary folder: from the moment its record is written (before the
// original is deleted) until it is back, discarded after success, or left
// recorded when the way back failed. Process-wide, any thread. A program must
// not end while it is true: the copy may then be the only one.
[[nodiscard]] bool ParkedCopyInFlight();

// Parks path: makes sure the way back exists (reserves a free unique name
// in path's folder, after the record that names it), then copies path to a
// unique name in the park folder with its attributes and time stamps, checks
// that no other program holds path, and deletes path. 0 with the copy's name in
// parkedPath, ParkedCopyInFlight() true until RestoreFromTemp or
// DiscardParked; otherwise path is as it was, nothing is left, and the result
// is kResultCancelled, kParkNoTempFolder, kParkNoUniqueName, kParkNoWayBack,
// kParkCopyFailed, kParkSourceInUse, kParkSourceUnopenable or
// kParkSourceUndeletable.
[[nodiscard]] ResultCode MoveToTempFolder(HWND frame, HANDLE cancel, const wchar_t* path,
                                          wchar_t (&parkedPath)[kPathUnits]);

// Puts the parked file back at path (never over an existing file): copies
// it to the name reserved in path's folder, hidden, moves it to path with the
// parked copy's attributes and time stamps, and deletes the parked copy and
// its record. When that fails it copies the parked file straight onto path,
// the name parking freed. Never cancelled (cancel is ignored), so that a
// source is not left in the temporary folder. 0; or, when both ways fail,
// kRestoreAttributesUnreadable, kRestoreCopyFailed or kRestoreMoveFailed
// with the parked copy and its record kept (it may be the only copy: the
// caller names parkedPath to the user) and nothing left in path's folder.
ResultCode RestoreFromTemp(HWND frame, HANDLE cancel, const wchar_t* parkedPath, const wchar_t* path);

// Notes in the record of a copy in flight the hidden output its job has
// created: when a run ends midway, the next start deletes that partial
// output before it puts the copy back, which may need its room.
void NoteParkedJobOutput(const wchar_t* parkedPath, const wchar_t* outputPath);

// After the job succeeded: deletes the parked copy, its record and the
// reserved name.
void DiscardParked(const wchar_t* parkedPath);

// At program start (Decompression.exe and Tandrel.exe, any thread, no window
// needed): for every record in the park folder that no running process
// holds, puts the parked copy back at its origin when that path's folder is
// reachable and the name free (never overwriting anything); drops a parked
// copy whose origin holds the same bytes (the original was never deleted, or
// the way back had ended); forgets a record whose copy is gone. The full
// paths of the copies left over that were not reported before are added to
// leftOver (may be null) and marked as reported, so each is reported once.
// A copy goes back only after the hidden output its job left is deleted.
// Returns how many parked copies are left over in all.
size_t RestoreParkedCopies(std::vector<std::wstring>* leftOver);
