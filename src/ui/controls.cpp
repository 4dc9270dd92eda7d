#include "ui/controls.h"

bool EnableCommonControls()
{
    INITCOMMONCONTROLSEX init{};
    init.dwSize = sizeof init;
    init.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    return ::InitCommonControlsEx(&init) != FALSE;
}
