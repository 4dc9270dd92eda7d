// Start-up registration as the frame meets it: the check during window
// creation, the "Activate upon start-up" command and the exit flow.
#pragma once

#include <windows.h>

#include <cstdint>

class CMainFrame;

// Step 10 of window creation. True: go on with the drives; false: the
// program is ending (a failure was reported, or an elevated copy takes
// over).
bool RunStartupCheck(CMainFrame& frame);

// Command 32799.
void RunStartupCommand(CMainFrame& frame);

// Command 32771. Returns once the program is closing, or when the user
// kept it running.
void RunExitFlow(CMainFrame& frame);

// What the flows need of the frame. The frame's own adapter forwards to
// CMainFrame; tests play a frame of their own.
class StartupFlowHost {
public:
    virtual ~StartupFlowHost() = default;
    // Owner of the boxes the flows show "owned by the frame".
    virtual HWND Window() const = 0;
    virtual int RegisteredForStartup() const = 0;
    virtual void SetRegisteredForStartup(int registered) = 0;
    // "Start-up has failed." with the code, then the program closes.
    virtual void ReportStartupFailure(uint32_t code) = 0;
    virtual void RetireProgressDialog() = 0;
    // Runs a message box or dialog while the frame counts it as open.
    virtual int RunModal(int (*box)(void* context), void* context) = 0;
    // Starts the elevated copy with the switch ("-startiwait %u" ...).
    virtual void StartElevatedCopy(const wchar_t* switchFormat) = 0;
    // Ends the program: WM_CLOSE to the frame, handled once the flow has
    // returned.
    virtual void Close() = 0;
};

bool RunStartupCheck(StartupFlowHost& host);
void RunStartupCommand(StartupFlowHost& host);
void RunExitFlow(StartupFlowHost& host);
