// Opening a removable or optical volume and trying once to lock it. The
// worker tries the lock after each job on the job's drive; safe removal
// tries it before ejecting a device.
#pragma once

#include <windows.h>

// The platform calls a lock attempt makes, replaceable by tests: a volume
// that refuses the lock (another program holds a file on it) cannot be
// made under Wine.
struct VolumeApi {
    UINT(WINAPI* getDriveType)(LPCWSTR root);
    HANDLE(WINAPI* createFile)(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile);
    BOOL(WINAPI* deviceIoControl)(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                  LPDWORD returned, LPOVERLAPPED overlapped);
    BOOL(WINAPI* closeHandle)(HANDLE handle);
    void(WINAPI* sleep)(DWORD milliseconds);
};

// Installs api (copied); null restores the real calls.
void SetVolumeApi(const VolumeApi* api);

// The volume device "\\.\X:" of a removable drive (read and write access)
// or an optical drive (read access), shared for reading and writing; an
// invalid handle for any other drive type or when it cannot be opened.
[[nodiscard]] HANDLE OpenVolume(wchar_t driveLetter);

// Opens the volume, makes exactly one attempt to lock it (pausing 10 ms
// when it fails) and closes it again, which releases a lock taken. 1 when
// the lock was taken and the handle closed, else 0. Never blocks for more
// than the one attempt and its pause.
int TryLockVolume(wchar_t driveLetter);

constexpr DWORD kLockFailurePauseMs = 10;
