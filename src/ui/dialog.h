// CDialog: a dialog from a resource template, modal (DoModal) or modeless
// (Create). DialogProc is one switch over the messages a class handles and
// ends in the base's handling: WM_INITDIALOG to OnInitDialog, IDOK to OnOK,
// IDCANCEL (also the Escape key) to OnCancel, other commands to OnCommand.
#pragma once

#include <windows.h>

#include "ui/command.h"
#include "ui/data_exchange.h"
#include "ui/wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr) : templateId_(templateId), parent_(parent) {}

    // The dialog's result: the value given to EndDialog, or -1 when the
    // dialog could not be created.
    INT_PTR DoModal();
    // Modeless: false when the window could not be created.
    bool Create(HWND parent);
    // Modal: ends the modal loop with result. Modeless: destroys the window.
    void EndDialog(INT_PTR result);

    // saving true: controls to members; false: members to controls.
    bool UpdateData(bool saving);

    UINT GetTemplateId() const { return templateId_; }
    bool IsModal() const { return modal_; }

    // For an application's message loop: lets the modeless dialogs of the
    // thread handle their keyboard (Tab, Escape, Enter).
    static bool PreTranslateModeless(MSG& msg);

protected:
    virtual INT_PTR DialogProc(UINT msg, WPARAM wp, LPARAM lp);
    // TRUE: the system puts the focus on the first tab stop.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange& /*dx*/) {}

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    UINT templateId_;
    HWND parent_;
    bool modal_ = false;
};
