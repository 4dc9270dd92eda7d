// The controls the dialogs bind by id: thin views of a control's handle.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "ui/wnd.h"

class CButton : public CWnd {};

class CStatic : public CWnd {};

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int low, int high) const { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(low), high); }
    void SetPos(int position) const { SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};

// The common controls (the progress bar) must be registered before a
// dialog that holds one is created.
bool EnableCommonControls();
