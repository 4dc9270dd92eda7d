// CShieldIconDlg: asked before the program restarts itself with
// administrator rights. OK ("Continue setting with administrator rights",
// with the shield icon) is the default; Cancel ("Quit setting") carries the
// stop icon. The caller goes on only when DoModal returns IDOK.
#pragma once

#include <windows.h>

#include "tray/sx_button.h"
#include "ui/dialog.h"

class CShieldIconDlg : public CDialog {
public:
    CShieldIconDlg();

    // For tests: the two buttons as drawn.
    const CSXButton& OkButton() const { return okButton_; }
    const CSXButton& CancelButton() const { return cancelButton_; }

protected:
    INT_PTR DialogProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnInitDialog() override;

private:
    CSXButton okButton_;
    CSXButton cancelButton_;
};

// Mirrors a window for a right-to-left layout once: sets the bits that are
// not set yet, so a dialog that the process default layout has already
// mirrored is not turned back. Returns the extended style it ends with.
DWORD MirrorOnce(HWND hwnd, DWORD bits);
