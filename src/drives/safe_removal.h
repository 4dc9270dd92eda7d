// Ejecting the USB stick that holds a target drive.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>
#include <winioctl.h>

// 1 when the device of the listed target drive was ejected, else 0. Holds
// the drive list's lock throughout, retries included.
int EjectDrive(const wchar_t* driveName);

// The disk with that storage device type and number, or 0.
DEVINST FindDiskByDeviceNumber(const STORAGE_DEVICE_NUMBER& number);

constexpr int kEjectAttempts = 3;
constexpr DWORD kEjectRetryPauseMs = 500;
