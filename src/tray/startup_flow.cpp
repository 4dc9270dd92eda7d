#include "tray/startup_flow.h"

#include "tray/main_frame.h"

// Placeholder until start-up registration lands: never registered, nothing asked.
bool RunStartupCheck(CMainFrame& frame)
{
    frame.SetRegisteredForStartup(0);
    return true;
}

void RunStartupCommand(CMainFrame&) {}

void RunExitFlow(CMainFrame& frame)
{
    frame.RetireProgressDialog();
    ::PostMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
}
