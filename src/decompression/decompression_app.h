// CDecompressionApp: Decompression's start-up. It checks the system, finds
// the container (command line or file-open dialog) and runs the one
// progress dialog; no message loop follows.
#pragma once

#include "ui/app.h"

class CDecompressionApp : public CWinApp {
public:
    bool InitInstance() override;
};
