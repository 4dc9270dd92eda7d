// The paths of a job: where its source is, what the container or the
// restored file is called, what the progress dialog shows, and which paths
// are refused before anything is touched.
//
// Portable: no platform headers. Lengths are counted in UTF-16 units, the
// unit of the 260-unit path buffers on Windows, also where wchar_t is wider.
#pragma once

#include <cstddef>
#include <cstdint>

#include "container/job_constants.h"
#include "container/result_code.h"

// Longest source path a compression job takes: its container path then has
// 254 units, and the container's ".tmp" name 258.
constexpr size_t kMaxCompressSourcePath = 250;
// Longest container path a decompression job takes.
constexpr size_t kMaxDecompressSourcePath = 254;
// Longest output path of the file operations, so that ".tmp" still fits.
constexpr size_t kMaxOutputPath = 254;

constexpr wchar_t kContainerExtension[] = L".tdz";
constexpr wchar_t kTempSuffix[] = L".tmp";

[[nodiscard]] size_t Utf16Length(const wchar_t* text);

struct JobPaths {
    wchar_t source[kPathUnits];       // folder followed by name
    wchar_t target[kPathUnits];       // the container path, or the restored path
    wchar_t displayName[kPathUnits];  // last component of the file the user knows
};

// The naming rules of a job, in order: the path length limit
// (kJobPathTooLong), for decompression an extension to remove
// (kContainerWithoutExtension), then the recycle bin (kSkipRecycleBin).
// folder and name are joined as they are; name may hold sub-folders.
[[nodiscard]] ResultCode ApplyNamingRules(uint32_t operation, const wchar_t* folder, const wchar_t* name,
                                          JobPaths* paths);

// Whether the folder part of path, behind its drive, starts with
// "\RECYCLER\" (NT 5) or "\$Recycle.Bin\" (NT 6), in any case.
[[nodiscard]] bool IsInRecycleBin(const wchar_t* path);

// The root of the volume that holds path: "E:\" for "E:\x\y", and
// "\\server\share\" for a UNC path. False when path has neither form.
[[nodiscard]] bool VolumeRoot(const wchar_t* path, wchar_t (&root)[kPathUnits]);

// dest = a followed by b, when that fits (with the NUL) in destUnits
// UTF-16 units; otherwise dest is left empty and false returned.
[[nodiscard]] bool JoinPath(wchar_t* dest, size_t destUnits, const wchar_t* a, const wchar_t* b);

// The folder part of path, up to and including its last "\" or "/"; "." for
// a bare name.
void ParentFolder(const wchar_t* path, wchar_t (&folder)[kPathUnits]);
