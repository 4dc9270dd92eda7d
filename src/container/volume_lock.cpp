#include "container/volume_lock.h"

#include <winioctl.h>

namespace {

void WINAPI RealSleep(DWORD milliseconds) { Sleep(milliseconds); }

const VolumeApi kRealApi = {GetDriveTypeW, CreateFileW, DeviceIoControl, CloseHandle, RealSleep};
VolumeApi g_api = kRealApi;

bool IsDriveLetter(wchar_t letter) {
    return (letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z');
}

}  // namespace

void SetVolumeApi(const VolumeApi* api) { g_api = api != nullptr ? *api : kRealApi; }

HANDLE OpenVolume(wchar_t driveLetter) {
    if (!IsDriveLetter(driveLetter)) return INVALID_HANDLE_VALUE;
    const wchar_t root[] = {driveLetter, L':', L'\\', L'\0'};
    DWORD access = 0;
    switch (g_api.getDriveType(root)) {
    case DRIVE_REMOVABLE:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    case DRIVE_CDROM:
        access = GENERIC_READ;
        break;
    default:
        return INVALID_HANDLE_VALUE;
    }
    const wchar_t device[] = {L'\\', L'\\', L'.', L'\\', driveLetter, L':', L'\0'};
    return g_api.createFile(device, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr);
}

int TryLockVolume(wchar_t driveLetter) {
    const HANDLE volume = OpenVolume(driveLetter);
    if (volume == INVALID_HANDLE_VALUE || volume == nullptr) return 0;
    DWORD returned = 0;
    const BOOL locked = g_api.deviceIoControl(volume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
    if (!locked) g_api.sleep(kLockFailurePauseMs);
    const BOOL closed = g_api.closeHandle(volume);
    return locked && closed ? 1 : 0;
}
