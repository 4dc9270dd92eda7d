// Whole reads and writes through a file handle. ReadFile and WriteFile may
// move fewer bytes than asked (pipes, some redirectors); these loop until
// all bytes moved, the end of the file, or an error.
#pragma once

#include <windows.h>

#include <cstdint>

enum class TransferStatus {
    Complete,
    Short,     // end of file before all bytes (reads), or no progress (writes)
    Failed,    // the call failed; GetLastError() tells why
};

[[nodiscard]] TransferStatus ReadFully(HANDLE file, uint8_t* bytes, uint32_t count);
[[nodiscard]] TransferStatus WriteFully(HANDLE file, const uint8_t* bytes, uint32_t count);

// Whether the last error of a failed write means the disk is full.
[[nodiscard]] bool LastErrorIsDiskFull();

// Whether an event (null: none) is set, without waiting.
[[nodiscard]] bool IsSignalled(HANDLE event);

// Pauses for ms milliseconds, ending early (true) when cancel is set.
[[nodiscard]] bool WaitForCancel(HANDLE cancel, DWORD ms);
