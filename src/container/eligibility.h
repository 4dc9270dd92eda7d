// Which files are compressed or decompressed at all. The extension filter is
// for the job producers (is a file queued?); the special-name, size and
// attribute rules are for the compress-file operation (is it touched?).
// Files turned away by the later rules get codes of the passed-over kinds.
//
// Portable: no platform headers. Paths are wchar_t strings (UTF-16 on
// Windows); extensions and names are compared without regard to ASCII case
// unless said otherwise.
#pragma once

#include <cstdint>

#include "container/result_code.h"

// The extension of a path: its last component from the last "." on, or an
// empty string (pointing at the terminator) when that component has no dot.
[[nodiscard]] const wchar_t* PathExtension(const wchar_t* path);

// The last component of a path (behind the last "\" or "/").
[[nodiscard]] const wchar_t* PathFileName(const wchar_t* path);

// mode kOperationDecompress: 1 for ".tdz" only. mode kOperationCompress: 0
// for the eleven excluded extensions (containers, temporary files, already
// compressed media and archives, lock files), else 1, also for no extension.
[[nodiscard]] uint32_t ExtensionFilter(uint32_t mode, const wchar_t* extension);

// 0, kSkipContainer, kSkipTmpFile, or kSkipOwnProgram for an ".exe" that is
// one of our programs or of the listed ones.
[[nodiscard]] ResultCode CheckSpecialName(const wchar_t* path);

// Files of this size or less are left as they are.
constexpr uint64_t kLargestSkippedSize = 2048;
constexpr uint32_t kAttributeReadOnly = 0x1;
constexpr uint32_t kAttributeHidden = 0x2;
constexpr uint32_t kAttributeSystem = 0x4;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;

[[nodiscard]] constexpr bool IsTooSmallToCompress(uint64_t size) { return size <= kLargestSkippedSize; }
[[nodiscard]] constexpr bool IsHiddenOrSystem(uint32_t attributes)
{
    return (attributes & (kAttributeHidden | kAttributeSystem)) != 0;
}
