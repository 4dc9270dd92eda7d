// The container header through an open file, at the file's current position.
#pragma once

#include <windows.h>

#include "container/container_header.h"
#include "container/result_code.h"

// Writes the 56 header bytes. 0, kHeaderWriteDiskFull, kHeaderWriteFailed or
// kHeaderWriteShort.
[[nodiscard]] ResultCode WriteContainerHeader(HANDLE file, const ContainerHeader& header);

// Reads 56 bytes and checks the magic, nothing else. 0, kHeaderReadFailed,
// kHeaderTooShort (fewer than 56 bytes there) or kHeaderWrongMagic; the last
// two pass the file over rather than fail it.
[[nodiscard]] ResultCode ReadContainerHeader(HANDLE file, ContainerHeader* header);
