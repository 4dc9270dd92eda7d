#include "drives/safe_removal.h"

#include <cstring>
#include <memory>
#include <new>

#include "base/platform_facts.h"
#include "container/volume_lock.h"
#include "drives/device_tree.h"
#include "drives/drive_list.h"

namespace {

const GUID kDiskInterface = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr DWORD kMaxDetailBytes = 1024;
constexpr ULONG kVetoNameUnits = 260;

bool EjectNt6(wchar_t letter)
{
    if (letter >= L'a' && letter <= L'z')
        letter = static_cast<wchar_t>(letter - L'a' + L'A');
    if (letter < L'A' || letter > L'Z')
        return false;
    const DeviceTreeApi& tree = DeviceTree();
    const wchar_t volume[7] = {L'\\', L'\\', L'.', L'\\', letter, L':', L'\0'};
    STORAGE_DEVICE_NUMBER number{};
    if (!tree.storageDeviceNumber(volume, &number))
        return false;
    const wchar_t drive[3] = {letter, L':', L'\0'};
    wchar_t target[260];
    if (!::QueryDosDeviceW(drive, target, 260))
        return false;
    const DEVINST disk = FindDiskByDeviceNumber(number);
    if (disk == 0)
        return false;
    // Without the parent there is no device to eject: an unset instance
    // must never reach the eject request.
    DEVINST usb = 0;
    if (tree.getParent(&usb, disk, 0) != CR_SUCCESS || usb == 0)
        return false;

    PNP_VETO_TYPE vetoType = PNP_VetoTypeUnknown;
    wchar_t vetoName[kVetoNameUnits];
    for (int attempt = 0; attempt < kEjectAttempts; ++attempt) {
        // Cleared for every attempt: a veto left over from the last one would
        // otherwise turn a later success into a failure.
        vetoType = PNP_VetoTypeUnknown;
        vetoName[0] = L'\0';
        if (tree.requestDeviceEject(usb, &vetoType, vetoName, kVetoNameUnits, 0) == CR_SUCCESS &&
            vetoType == PNP_VetoTypeUnknown)
            return true;
        ::Sleep(kEjectRetryPauseMs);
    }
    return false;
}

}  // namespace

DEVINST FindDiskByDeviceNumber(const STORAGE_DEVICE_NUMBER& number)
{
    const DeviceTreeApi& tree = DeviceTree();
    HDEVINFO set = tree.getClassDevs(&kDiskInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kMaxDetailBytes + 2 * sizeof(wchar_t)]);
    DEVINST found = 0;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    for (DWORD index = 0; buffer && found == 0 && tree.enumDeviceInterfaces(set, nullptr, &kDiskInterface, index, &data);
         ++index) {
        DWORD size = 0;
        tree.getDeviceInterfaceDetail(set, &data, nullptr, 0, &size, nullptr);
        if (size == 0 || size > kMaxDetailBytes)
            continue;
        std::memset(buffer.get(), 0, kMaxDetailBytes + 2 * sizeof(wchar_t));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.get());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof(info);
        if (!tree.getDeviceInterfaceDetail(set, &data, detail, size, nullptr, &info))
            continue;
        STORAGE_DEVICE_NUMBER disk{};
        if (tree.storageDeviceNumber(detail->DevicePath, &disk) && disk.DeviceType == number.DeviceType &&
            disk.DeviceNumber == number.DeviceNumber)
            found = info.DevInst;
    }
    tree.destroyDeviceInfoList(set);
    return found;
}

int EjectDrive(const wchar_t* driveName)
{
    LockDriveList();
    int ejected = 0;
    DriveEntry* entry = FindDriveEntry(driveName);
    if (entry != nullptr && entry->isTarget) {
        TryLockVolume(driveName[0]);
        if (IsNt6Family()) {
            ejected = EjectNt6(driveName[0]) ? 1 : 0;
        } else {
            ejected = entry->deviceInstance != 0 &&
                              DeviceTree().requestDeviceEject(entry->deviceInstance, nullptr, nullptr, 0, 0) == CR_SUCCESS
                          ? 1
                          : 0;
        }
    }
    UnlockDriveList();
    return ejected;
}
