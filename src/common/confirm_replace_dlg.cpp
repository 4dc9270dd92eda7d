#include "common/confirm_replace_dlg.h"

#include "common/program_style.h"
#include "common/resource_ids.h"
#include "container/job_constants.h"
#include "ui/text.h"

namespace {

constexpr DWORD kMirrorDialog = WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT;
constexpr DWORD kMirrorControl = WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT | WS_EX_RIGHT;

}  // namespace

CConfirmReplaceDlg::CConfirmReplaceDlg() : CDialog(IDD_CONFIRM_REPLACE, nullptr) {}

void CConfirmReplaceDlg::DoDataExchange(CDataExchange& dx)
{
    dx.Control(IDC_REPLACE_YES, yesButton_);
    dx.Control(IDC_REPLACE_NO, noButton_);
    dx.Control(IDC_REPLACE_CANCEL, cancelButton_);
    dx.Control(IDC_REPLACE_YES_TO_ALL, yesToAllButton_);
    dx.Text(IDC_REPLACE_TEXT, message_);
}

BOOL CConfirmReplaceDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    result_ = kAnswerYes;

    SetWindowText(LoadText(IDS_CAPTION));
    yesButton_.SetWindowText(LoadText(IDS_BUTTON_YES));
    yesToAllButton_.SetWindowText(LoadText(IDS_BUTTON_YES_TO_ALL));
    noButton_.SetWindowText(LoadText(IDS_BUTTON_NO));
    cancelButton_.SetWindowText(LoadText(IDS_BUTTON_CANCEL));

    if (singleFile_) {
        yesToAllButton_.ShowWindow(SW_HIDE);
        cancelButton_.ShowWindow(SW_HIDE);
    }
    UpdateData(false);

    if (UsesRightToLeftLayout()) {
        ToggleExStyle(kMirrorDialog);
        yesButton_.ToggleExStyle(kMirrorControl);
        noButton_.ToggleExStyle(kMirrorControl);
        cancelButton_.ToggleExStyle(kMirrorControl);
        yesToAllButton_.ToggleExStyle(kMirrorControl);
        CWnd text;
        text.Attach(GetDlgItem(IDC_REPLACE_TEXT));
        text.ToggleExStyle(kMirrorControl);
        Invalidate();
    }
    return TRUE;  // the focus goes to "Yes", the first tab stop
}

bool CConfirmReplaceDlg::OnCommand(UINT id)
{
    switch (id) {
    case IDC_REPLACE_YES:
        result_ = kAnswerYes;
        break;
    case IDC_REPLACE_YES_TO_ALL:
        result_ = kAnswerYesToAll;
        break;
    case IDC_REPLACE_NO:
        result_ = kAnswerNo;
        break;
    case IDC_REPLACE_CANCEL:
        result_ = kAnswerCancel;
        break;
    default:
        return false;
    }
    OnOK();
    return true;
}

void CConfirmReplaceDlg::OnCancel()
{
    // Escape (or closing the window) must never count as consent: the
    // question was whether to overwrite the user's file.
    result_ = kAnswerNo;
    CDialog::OnCancel();
}
