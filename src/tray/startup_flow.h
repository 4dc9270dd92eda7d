// Start-up registration as the frame meets it: the check during window
// creation, the "Activate upon start-up" command and the exit flow.
#pragma once

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
