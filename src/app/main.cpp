#include <windows.h>

#include "app/tandrel_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    CTandrelApp app;
    return RunApplication(app);
}
