// The USB device tree as the drive detection and the safe removal see it:
// exactly the SetupAPI and configuration-manager calls they make, plus the
// storage device number of a volume or disk. The table defaults to the
// real API; tests (and the tests' 64-bit build of the tray program) put a
// scripted tree in its place, because Wine has no USB devices.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>

struct DeviceTreeApi {
    HDEVINFO(WINAPI* getClassDevs)(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags);
    BOOL(WINAPI* enumDeviceInfo)(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info);
    BOOL(WINAPI* getDeviceRegistryProperty)(HDEVINFO set, PSP_DEVINFO_DATA info, DWORD property, PDWORD type,
                                            PBYTE buffer, DWORD size, PDWORD required);
    BOOL(WINAPI* getDeviceInstanceId)(HDEVINFO set, PSP_DEVINFO_DATA info, PWSTR id, DWORD units, PDWORD required);
    BOOL(WINAPI* enumDeviceInterfaces)(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* interfaceGuid, DWORD index,
                                       PSP_DEVICE_INTERFACE_DATA data);
    BOOL(WINAPI* getDeviceInterfaceDetail)(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                           PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size, PDWORD required,
                                           PSP_DEVINFO_DATA info);
    BOOL(WINAPI* destroyDeviceInfoList)(HDEVINFO set);
    CONFIGRET(WINAPI* getDeviceId)(DEVINST device, PWSTR id, ULONG units, ULONG flags);
    CONFIGRET(WINAPI* getChild)(PDEVINST child, DEVINST device, ULONG flags);
    CONFIGRET(WINAPI* getParent)(PDEVINST parent, DEVINST device, ULONG flags);
    CONFIGRET(WINAPI* getDevNodeRegistryProperty)(DEVINST device, ULONG property, PULONG type, PVOID buffer,
                                                  PULONG size, ULONG flags);
    CONFIGRET(WINAPI* requestDeviceEject)(DEVINST device, PPNP_VETO_TYPE vetoType, LPWSTR vetoName, ULONG units,
                                          ULONG flags);
    // Opens the path for query only (share read and write) and asks
    // IOCTL_STORAGE_GET_DEVICE_NUMBER.
    bool (*storageDeviceNumber)(const wchar_t* devicePath, STORAGE_DEVICE_NUMBER* number);
};

const DeviceTreeApi& RealDeviceTree();
// Null restores the real tree. Set it before any thread that asks exists.
void SetDeviceTree(const DeviceTreeApi* tree);
const DeviceTreeApi& DeviceTree();
