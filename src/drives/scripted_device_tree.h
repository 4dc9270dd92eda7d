// A USB device tree played from a script, for the tests and the tests'
// 64-bit build of the tray program (never the shipped one): Wine has no
// USB devices. Each stick is a USB device with a disk child, whose child
// is the volume of its drive letter; the calls answer as Windows does for
// such a tree. An ejected stick leaves the tree.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>

#include <string>
#include <vector>

struct ScriptedStick {
    std::wstring hardwareId;            // first string of the hardware IDs
    wchar_t driveLetter = 0;            // its volume's letter, 0 for none
    std::wstring service = L"USBSTOR";
    ULONG deviceNumber = 0;             // of its disk
    int vetoes = 0;                     // eject requests refused before one succeeds
};

// Replaces the tree's sticks and installs it as the device tree.
void PlayDeviceTree(const std::vector<ScriptedStick>& sticks);
// Back to the real API.
void StopDeviceTree();

// One stick a line: HARDWARE-ID LETTER [DEVICE-NUMBER [VETOES [SERVICE]]],
// LETTER "-" for none. False when the file cannot be read.
bool LoadDeviceTreeScript(const std::wstring& path, std::vector<ScriptedStick>* sticks);
// Plays the script named by TDZ_DEVICE_TREE when it is set; the file is
// read again at every enumeration, so a test adds and removes sticks by
// rewriting it.
bool PlayDeviceTreeFromEnvironment();

struct EjectRequest {
    DEVINST device;
    bool granted;
};
std::vector<EjectRequest> EjectRequests();
// Device sets opened and not yet destroyed.
int OpenDeviceSets();

// Node numbers of the i-th stick (from 0): USB device, disk, volume.
constexpr DEVINST ScriptedUsbNode(int i) { return 0x100 + i; }
constexpr DEVINST ScriptedDiskNode(int i) { return 0x200 + i; }
constexpr DEVINST ScriptedVolumeNode(int i) { return 0x300 + i; }
