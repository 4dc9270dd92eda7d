// CTandrelApp: the tray program's start. A process of Tandrel either runs
// as the tray program (the only case in which StartInstance returns true),
// carries out one file request from its command line and ends, installs
// itself and starts the installed copy, or refuses to run.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/win_handle.h"
#include "ui/app.h"

class CMainFrame;

// NT 5.0 to 5.2 on 32-bit systems, NT 6.0 and 6.1 in either bitness.
bool IsSupportedOs();

// How the installed copy is started after a self-installation:
// ShellExecuteW, or a stand-in for the tests' build of the program.
using ProgramStarter = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
void SetProgramStarter(ProgramStarter starter);

class CTandrelApp : public CWinApp {
public:
    CTandrelApp();
    // For tests: a command-line tail of their own.
    explicit CTandrelApp(std::wstring tail);
    ~CTandrelApp() override;

    bool InitInstance() override { return StartInstance(); }
    int ExitInstance() override;

    bool StartInstance();
    void EndInstance();
    void HandleFileCommand();
    void CompressOneFile(const wchar_t* path);
    void DecompressOneFile(const wchar_t* path, bool openAfterwards);

    // The about box, for the tray menu's item and the standard command.
    bool OnCommand(UINT id) override;

    bool HoldsInstanceMutex() const { return mutex_.Valid(); }

private:
    bool StartNt6();
    bool StartNt5();
    // Takes the single-instance mutex; false when another instance holds it.
    bool TakeInstanceMutex();
    // Installs when the running executable is not the installed one, then
    // starts the installed copy. True when this process is the installed
    // copy and goes on.
    bool IsInstalledCopyOrHandOver(const wchar_t* installed, const wchar_t* destination, bool passTail);
    bool CreateMainFrame();

    MutexHandle mutex_;
    std::wstring tail_;
    std::unique_ptr<CMainFrame> frame_;
};
