// Tandrel.exe started as a process by the tests of this folder, and the
// tray program it may leave running.
#pragma once

#include <windows.h>

#include <string>

#include "base/win_handle.h"

constexpr DWORD kProcessWaitMs = 30000;

struct Process {
    ProcessHandle handle;
    DWORD id = 0;
};

// executable with tail after its quoted name; an empty Process on failure.
Process Start(const std::wstring& executable, const std::wstring& tail);
bool Ended(const Process& process, DWORD ms = kProcessWaitMs);

// The running tray program's frame, or null; and the process of a window.
HWND TrayFrame();
DWORD WindowProcess(HWND window);
// Waits until a tray program's frame exists and answers a message (its
// thread may still be creating it). Its frame, or null after timeoutMs.
HWND WaitForStartedTray(DWORD timeoutMs = kProcessWaitMs);
// Closes the running tray program, if any, and waits for its end.
bool StopTray();
