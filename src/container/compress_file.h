// Replacing one file by its container. The container is written under the
// hidden name containerPath + ".tmp" (or, when a file has that name, a free
// unique name beside it: no existing file is ever opened as the output),
// moved to containerPath, given its final attributes, and only then is the
// source deleted. When the drive lacks room for the container beside
// the source, the source is parked in the temporary folder first and copied
// back if anything fails. Whatever the result, the source survives unless
// its container is in place.
//
// frame receives WM_JOB_PHASE, WM_JOB_PROGRESS and WM_REPLACE_QUERY, or is
// null; cancel is the job's cancel event, or null; reply is the event the
// replace question waits on. Runs on the one thread that uses the codec and
// the stream buffers.
#pragma once

#include <windows.h>

#include <cstdint>

#include "container/container_header.h"
#include "container/result_code.h"
#include "base/win_handle.h"

// replaceAll points to the worker's Yes-to-All flag (an existing container
// is replaced without a question while it is set), or is null when the job
// must not ask at all (then it replaces). leftParked, when given, is a
// kPathUnits buffer that receives the full path of the parked copy when the
// job ends failed with its source left in the temporary folder (the way
// back failed), else an empty string.
[[nodiscard]] ResultCode CompressFile(HWND frame, HANDLE cancel, HANDLE reply, const wchar_t* sourcePath,
                                      const wchar_t* containerPath, bool* replaceAll,
                                      wchar_t* leftParked = nullptr);

// Opens the source (keeping it open in *source on success), applies the
// size and attribute rules and fills the header from it.
[[nodiscard]] ResultCode BuildContainerHeader(HANDLE cancel, const wchar_t* path, FileHandle* source,
                                              ContainerHeader* header);

// Writes the container of the open source to containerPath through its
// ".tmp" name. On failure nothing of it is left.
// parkedPath: the source's parked copy, whose record is told the output.
[[nodiscard]] ResultCode CompressToTarget(HWND frame, HANDLE cancel, HANDLE source,
                                          const ContainerHeader& header, const wchar_t* containerPath,
                                          const wchar_t* parkedPath = nullptr);

// Encodes sourceSize bytes of source into output, followed by the checksum.
[[nodiscard]] ResultCode CompressStreamToFile(HWND frame, HANDLE cancel, HANDLE source, uint64_t sourceSize,
                                              HANDLE output);
