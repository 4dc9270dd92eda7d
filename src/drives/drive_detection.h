// Finding the target drives: the removable drives of USB sticks of the
// supported models. Each refresh rebuilds the drive list from every drive
// letter of the machine and publishes the target drives in the registry
// value CurrentDrive, which the shell extension reads.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>

// Hardware-identifier prefixes of the supported models, checked in order,
// each "USB\Vid_XXXX&Pid_YYYY" (21 characters), compared ignoring case.
constexpr int kSupportedDeviceCount = 6;
constexpr int kHardwareIdPrefixUnits = 21;
extern const wchar_t* const kSupportedDevices[kSupportedDeviceCount];
bool IsSupportedHardwareId(const wchar_t* hardwareId);

constexpr int kMaxFoundDevices = 32;
constexpr int kMatchKeyUnits = 256;  // 255 characters and the NUL
constexpr int kVolumeNameUnits = 4096;

// Rebuilds the drive list and rewrites CurrentDrive, under the list's lock.
// When the USB devices or the drive letters cannot be read, list and value
// stay as they are.
void RefreshDriveList();

// With the disk's device ID (its backslashes are replaced by "#" in place),
// the letter of a removable volume on that disk, or 0.
wchar_t FindDriveLetterOfDisk(wchar_t* diskDeviceId);

// Where the value lives: HKEY_CURRENT_USER on the NT 6 family, else
// HKEY_LOCAL_MACHINE, under this key.
constexpr const wchar_t* kMakerKey = L"SOFTWARE\\Velmora Corporation";
constexpr const wchar_t* kProgramKey = L"SOFTWARE\\Velmora Corporation\\Tandrel";
constexpr const wchar_t* kCurrentDriveValue = L"CurrentDrive";
HKEY CurrentDriveHive();
