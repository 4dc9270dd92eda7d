// The messages of the tray program's start: no owner, caption "Tandrel",
// right to left where the user's language reads so.
#pragma once

#include <windows.h>

#include <cstdint>

// Step codes of "Start-up has failed." before the frame exists.
enum StartupStep : uint16_t {
    kStepModulePath = 0x0000,        // path of the running executable
    kStepInstalledPath = 0x0001,     // NT 5: installed executable's path
    kStepInstallFolderPath = 0x0002, // NT 5: installation folder's path
    kStepInstallFolder = 0x0003,     // installation folder cannot be made
    kStepServerPath = 0x0006,        // NT 5: installed server's path
    kStepStartInstalled = 0x0007,    // the installed copy does not start
};

// "Start-up has failed. (XXXX)" with the error icon.
void ShowStartupFailure(uint16_t code);
// The framework's box: text alone, the error icon and the application
// title (string 57344).
void ShowFrameworkError(const wchar_t* text);
