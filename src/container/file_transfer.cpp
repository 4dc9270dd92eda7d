#include "container/file_transfer.h"

TransferStatus ReadFully(HANDLE file, uint8_t* bytes, uint32_t count)
{
    while (count > 0) {
        DWORD got = 0;
        if (!ReadFile(file, bytes, count, &got, nullptr))
            return TransferStatus::Failed;
        if (got == 0)
            return TransferStatus::Short;
        bytes += got;
        count -= got;
    }
    return TransferStatus::Complete;
}

TransferStatus WriteFully(HANDLE file, const uint8_t* bytes, uint32_t count)
{
    while (count > 0) {
        DWORD put = 0;
        if (!WriteFile(file, bytes, count, &put, nullptr))
            return TransferStatus::Failed;
        if (put == 0)
            return TransferStatus::Short;
        bytes += put;
        count -= put;
    }
    return TransferStatus::Complete;
}

bool LastErrorIsDiskFull()
{
    const DWORD error = GetLastError();
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

bool IsSignalled(HANDLE event)
{
    return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

bool WaitForCancel(HANDLE cancel, DWORD ms)
{
    if (cancel == nullptr) {
        Sleep(ms);
        return false;
    }
    return WaitForSingleObject(cancel, ms) == WAIT_OBJECT_0;
}
