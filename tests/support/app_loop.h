// The program's message loop, one turn at a time, for tests that run
// modeless dialogs on their own thread.
#pragma once

#include <windows.h>

#include "ui/dialog.h"

// Dispatches what is queued as the application's loop would: modeless
// dialogs see the keyboard first.
inline void DispatchQueuedAsTheProgramDoes()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!CDialog::PreTranslateModeless(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}
