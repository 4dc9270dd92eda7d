#include "drives/device_tree.h"

#include "base/win_handle.h"

namespace {

bool RealStorageDeviceNumber(const wchar_t* devicePath, STORAGE_DEVICE_NUMBER* number)
{
    FileHandle device(::CreateFileW(devicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    if (!device.Valid())
        return false;
    DWORD returned = 0;
    return ::DeviceIoControl(device.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number, sizeof(*number),
                             &returned, nullptr) != FALSE;
}

const DeviceTreeApi kReal{
    ::SetupDiGetClassDevsW,
    ::SetupDiEnumDeviceInfo,
    ::SetupDiGetDeviceRegistryPropertyW,
    ::SetupDiGetDeviceInstanceIdW,
    ::SetupDiEnumDeviceInterfaces,
    ::SetupDiGetDeviceInterfaceDetailW,
    ::SetupDiDestroyDeviceInfoList,
    ::CM_Get_Device_IDW,
    ::CM_Get_Child,
    ::CM_Get_Parent,
    ::CM_Get_DevNode_Registry_PropertyW,
    ::CM_Request_Device_EjectW,
    RealStorageDeviceNumber,
};

const DeviceTreeApi* g_tree = &kReal;

}  // namespace

const DeviceTreeApi& RealDeviceTree() { return kReal; }
void SetDeviceTree(const DeviceTreeApi* tree) { g_tree = tree ? tree : &kReal; }
const DeviceTreeApi& DeviceTree() { return *g_tree; }
