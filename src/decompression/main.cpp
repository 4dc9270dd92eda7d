#include <windows.h>

#include "decompression/decompression_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    CDecompressionApp app;
    return RunApplication(app);
}
