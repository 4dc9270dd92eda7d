#include "drives/drive_detection.h"

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <new>

#include "base/platform_facts.h"
#include "base/win_handle.h"
#include "drives/device_tree.h"
#include "drives/drive_list.h"

const wchar_t* const kSupportedDevices[kSupportedDeviceCount] = {
    L"USB\\Vid_1F3A&Pid_0101", L"USB\\Vid_1F3A&Pid_0102", L"USB\\Vid_1F3A&Pid_0210",
    L"USB\\Vid_2C7E&Pid_4001", L"USB\\Vid_2C7E&Pid_4002", L"USB\\Vid_2C7E&Pid_4A10",
};

namespace {

const GUID kUsbClass = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kVolumeInterface = {0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

constexpr DWORD kPropertyBytes = 1024;
constexpr int kPropertyUnits = kPropertyBytes / sizeof(wchar_t);
constexpr int kDriveStringUnits = 255;
constexpr int kValueUnits = 256;

struct FoundDevice {
    DEVINST deviceInstance;
    wchar_t matchKey[kMatchKeyUnits];
};

struct RemovableVolume {
    wchar_t letter;
    wchar_t volumeName[kVolumeNameUnits];
};

// A property read that may come back without its terminator (or longer
// than asked): cut and terminated inside the buffer either way. The
// buffer holds one unit more than the read may fill.
bool ReadDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA* info, DWORD property, wchar_t (&buffer)[kPropertyUnits + 2])
{
    DWORD size = 0;
    std::memset(buffer, 0, sizeof(buffer));
    if (!DeviceTree().getDeviceRegistryProperty(set, info, property, nullptr, reinterpret_cast<BYTE*>(buffer),
                                                kPropertyBytes, &size))
        return false;
    buffer[kPropertyUnits] = L'\0';
    buffer[kPropertyUnits + 1] = L'\0';
    return true;
}

bool CopyKey(wchar_t (&key)[kMatchKeyUnits], const wchar_t* text)
{
    const size_t length = wcsnlen(text, kMatchKeyUnits);
    if (length >= kMatchKeyUnits)
        return false;  // a longer key could never match exactly
    std::wmemcpy(key, text, length + 1);
    return true;
}

// The match key of the NT 6 method: the device ID of the stick's disk.
bool Nt6MatchKey(HDEVINFO set, SP_DEVINFO_DATA* info, FoundDevice* row)
{
    const DeviceTreeApi& tree = DeviceTree();
    wchar_t id[1024 + 1] = {};
    if (!tree.getDeviceInstanceId(set, info, id, 1024, nullptr))
        return false;
    if (tree.getDeviceId(info->DevInst, id, 1024, 0) != CR_SUCCESS)
        return false;
    DEVINST child = 0;
    if (tree.getChild(&child, info->DevInst, 0) != CR_SUCCESS)
        return false;
    wchar_t childId[kMatchKeyUnits + 1] = {};
    if (tree.getDeviceId(child, childId, kMatchKeyUnits, 0) != CR_SUCCESS)
        return false;
    childId[kMatchKeyUnits] = L'\0';
    return CopyKey(row->matchKey, childId);
}

// The older method's key: the device object name of the disk's child.
bool Nt5MatchKey(SP_DEVINFO_DATA* info, FoundDevice* row)
{
    const DeviceTreeApi& tree = DeviceTree();
    DEVINST child = 0;
    DEVINST grandchild = 0;
    if (tree.getChild(&child, info->DevInst, 0) != CR_SUCCESS || tree.getChild(&grandchild, child, 0) != CR_SUCCESS)
        return false;
    wchar_t name[kPropertyUnits + 2] = {};
    ULONG size = kPropertyBytes;
    if (tree.getDevNodeRegistryProperty(grandchild, CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME, nullptr, name, &size, 0) !=
        CR_SUCCESS)
        return false;
    name[kPropertyUnits] = L'\0';
    return CopyKey(row->matchKey, name);
}

// The supported sticks present, at most 32; false when the USB devices
// cannot be listed at all.
bool FindSupportedDevices(bool nt6, FoundDevice* rows, int* count)
{
    const DeviceTreeApi& tree = DeviceTree();
    *count = 0;
    HDEVINFO set = tree.getClassDevs(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    for (DWORD index = 0; *count < kMaxFoundDevices && tree.enumDeviceInfo(set, index, &info); ++index) {
        wchar_t property[kPropertyUnits + 2];
        if (!ReadDeviceProperty(set, &info, SPDRP_SERVICE, property) || std::wcscmp(property, L"USBSTOR") != 0)
            continue;
        if (!ReadDeviceProperty(set, &info, SPDRP_HARDWAREID, property) || !IsSupportedHardwareId(property))
            continue;
        FoundDevice& row = rows[*count];
        row.deviceInstance = info.DevInst;
        if (!(nt6 ? Nt6MatchKey(set, &info, &row) : Nt5MatchKey(&info, &row)))
            continue;
        ++*count;
    }
    tree.destroyDeviceInfoList(set);
    return true;
}

int BuildRemovableVolumeTable(RemovableVolume* table)
{
    int rows = 0;
    const DWORD drives = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i)))
            continue;
        const wchar_t root[4] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', L'\0'};
        if (::GetDriveTypeW(root) != DRIVE_REMOVABLE)
            continue;
        if (!::GetVolumeNameForVolumeMountPointW(root, table[rows].volumeName, kVolumeNameUnits))
            continue;
        table[rows].volumeName[kVolumeNameUnits - 1] = L'\0';
        table[rows].letter = root[0];
        ++rows;
    }
    return rows;
}

// Which row a removable drive belongs to, or -1.
int FindRowOfDrive(bool nt6, const wchar_t* driveName, FoundDevice* rows, int count)
{
    if (nt6) {
        for (int i = 0; i < count; ++i) {
            const wchar_t letter = FindDriveLetterOfDisk(rows[i].matchKey);
            if (letter != 0 && std::towupper(letter) == std::towupper(driveName[0]))
                return i;
        }
        return -1;
    }
    wchar_t device[256] = {};
    if (!::QueryDosDeviceW(driveName, device, 256))
        return -1;
    device[255] = L'\0';
    for (int i = 0; i < count; ++i) {
        if (std::wcscmp(device, rows[i].matchKey) == 0)
            return i;
    }
    return -1;
}

void WriteCurrentDriveIn(HKEY hive, REGSAM view, const wchar_t* value, DWORD bytes)
{
    RegKey maker;
    if (::RegCreateKeyExW(hive, kMakerKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | view, nullptr,
                          maker.Receive(), nullptr) != ERROR_SUCCESS)
        return;
    maker.Reset();
    RegKey program;
    if (::RegCreateKeyExW(hive, kProgramKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE | view, nullptr,
                          program.Receive(), nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(program.Get(), kCurrentDriveValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value), bytes);
}

}  // namespace

bool IsSupportedHardwareId(const wchar_t* hardwareId)
{
    if (wcsnlen(hardwareId, kHardwareIdPrefixUnits) < kHardwareIdPrefixUnits)
        return false;
    for (const wchar_t* prefix : kSupportedDevices) {
        int i = 0;
        while (i < kHardwareIdPrefixUnits && std::towupper(hardwareId[i]) == std::towupper(prefix[i]))
            ++i;
        if (i == kHardwareIdPrefixUnits)
            return true;
    }
    return false;
}

HKEY CurrentDriveHive() { return IsNt6Family() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

wchar_t FindDriveLetterOfDisk(wchar_t* diskDeviceId)
{
    std::unique_ptr<RemovableVolume[]> table(new (std::nothrow) RemovableVolume[26]);
    if (!table)
        return 0;
    const int rows = BuildRemovableVolumeTable(table.get());
    if (rows == 0)
        return 0;
    for (wchar_t* c = diskDeviceId; *c; ++c) {
        if (*c == L'\\')
            *c = L'#';
    }

    const DeviceTreeApi& tree = DeviceTree();
    HDEVINFO set = tree.getClassDevs(&kVolumeInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    constexpr DWORD kDetailBytes = 4096;
    std::unique_ptr<BYTE[]> detailBuffer(new (std::nothrow) BYTE[kDetailBytes + 2 * sizeof(wchar_t)]);
    std::unique_ptr<wchar_t[]> volumeName(new (std::nothrow) wchar_t[kVolumeNameUnits]);
    wchar_t letter = 0;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    for (DWORD index = 0; detailBuffer && volumeName && letter == 0 &&
                          tree.enumDeviceInterfaces(set, nullptr, &kVolumeInterface, index, &data);
         ++index) {
        std::memset(detailBuffer.get(), 0, kDetailBytes + 2 * sizeof(wchar_t));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBuffer.get());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof(info);
        if (!tree.getDeviceInterfaceDetail(set, &data, detail, kDetailBytes, nullptr, &info))
            continue;
        wchar_t id[1024 + 1] = {};
        if (tree.getDeviceId(info.DevInst, id, 1024, 0) != CR_SUCCESS || !std::wcsstr(id, diskDeviceId))
            continue;
        // The device path with a backslash appended, bounded by the buffer.
        wchar_t* path = detail->DevicePath;
        const size_t room = (kDetailBytes - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
        const size_t length = wcsnlen(path, room);
        if (length + 2 > room + 1)
            continue;
        path[length] = L'\\';
        path[length + 1] = L'\0';
        if (!::GetVolumeNameForVolumeMountPointW(path, volumeName.get(), kVolumeNameUnits))
            continue;
        volumeName[kVolumeNameUnits - 1] = L'\0';
        for (int row = 0; row < rows; ++row) {
            if (std::wcscmp(volumeName.get(), table[row].volumeName) == 0) {
                letter = table[row].letter;
                break;
            }
        }
    }
    tree.destroyDeviceInfoList(set);
    return letter;
}

void RefreshDriveList()
{
    const bool nt6 = IsNt6Family();
    LockDriveList();
    FoundDevice rows[kMaxFoundDevices];
    int found = 0;
    wchar_t drives[kDriveStringUnits + 1] = {};
    const DWORD length = FindSupportedDevices(nt6, rows, &found) ? ::GetLogicalDriveStringsW(kDriveStringUnits, drives) : 0;
    // No devices, or drive letters that cannot be read whole: keep list and
    // value as they are rather than stop every watcher and forget the
    // user's choices.
    if (length == 0 || length >= kDriveStringUnits) {
        UnlockDriveList();
        return;
    }

    DriveEntry* oldList = DetachDriveList();
    wchar_t value[kValueUnits] = {};
    size_t used = 0;
    for (const wchar_t* drive = drives; *drive; drive += std::wcslen(drive) + 1) {
        if (drive[0] == L'\0' || drive[1] != L':')
            continue;
        const wchar_t name[3] = {drive[0], L':', L'\0'};
        const wchar_t root[4] = {drive[0], L':', L'\\', L'\0'};
        switch (::GetDriveTypeW(root)) {
        case DRIVE_REMOVABLE: {
            const int row = FindRowOfDrive(nt6, name, rows, found);
            if (row < 0)
                break;
            if (used + 3 < kValueUnits) {
                std::wmemcpy(value + used, name, 3);
                used += 3;
            }
            AddListedDrive(&oldList, name, 1, rows[row].deviceInstance);
            break;
        }
        case DRIVE_FIXED:
        case DRIVE_REMOTE:
        case DRIVE_RAMDISK:
            AddListedDrive(&oldList, name, 0, 0);
            break;
        default:
            break;
        }
    }
    value[used] = L'\0';
    const DWORD bytes = static_cast<DWORD>((used + 1) * sizeof(wchar_t));

    const HKEY hive = nt6 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    WriteCurrentDriveIn(hive, OwnRegistryView(), value, bytes);
    if (IsWow64())
        WriteCurrentDriveIn(hive, kWow64RegistryView, value, bytes);

    FreeDriveEntries(oldList);
    UnlockDriveList();
}
