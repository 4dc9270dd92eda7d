// Replacing one container by the file it holds. The stream is decoded into
// the hidden file targetPath + ".tmp" (or a free unique name beside it when
// a file has that name), checked against the stored size and
// checksum, given the stored times and attributes, moved to targetPath, and
// only then is the container deleted. When the drive lacks room for the
// file beside the container, the container is parked in the temporary
// folder first and copied back if anything fails. Whatever the result, the
// container survives unless its file is in place.
//
// Arguments as for CompressFile (compress_file.h).
#pragma once

#include <windows.h>

#include <cstdint>

#include "container/container_header.h"
#include "container/result_code.h"

[[nodiscard]] ResultCode DecompressFile(HWND frame, HANDLE cancel, HANDLE reply, const wchar_t* containerPath,
                                        const wchar_t* targetPath, bool* replaceAll,
                                        wchar_t* leftParked = nullptr);

// container is open and positioned just behind its header; streamLength is
// its size less 60.
// parkedPath: the container's parked copy, whose record is told the output.
[[nodiscard]] ResultCode DecompressToTarget(HWND frame, HANDLE cancel, HANDLE container,
                                            const ContainerHeader& header, uint64_t streamLength,
                                            const wchar_t* targetPath, const wchar_t* parkedPath = nullptr);

// Decodes streamLength stream bytes of container into output and checks
// the end of the stream, the size and the checksum that follows it.
[[nodiscard]] ResultCode DecompressStreamToFile(HWND frame, HANDLE cancel, HANDLE container,
                                                uint64_t streamLength, HANDLE output, uint64_t sourceSize);
