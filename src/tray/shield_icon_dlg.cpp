#include "tray/shield_icon_dlg.h"

#include "common/program_style.h"
#include "common/resource_ids.h"
#include "shield_dialog_ids.h"
#include "ui/text.h"

namespace {

constexpr DWORD kMirrorDialog = WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT;                  // 0x500000
constexpr DWORD kMirrorControl = WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT | WS_EX_RIGHT;   // 0x501000
constexpr int kIconSize = 32;
constexpr int kIconLeft = 6;
constexpr int kTextLeft = 42;

}  // namespace

DWORD MirrorOnce(HWND hwnd, DWORD bits)
{
    DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    // Already laid out right to left (the process default layout does that
    // to every new window): adding the bits again would mirror twice.
    if (exStyle & WS_EX_LAYOUTRTL)
        return exStyle;
    exStyle |= bits;
    ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
    return exStyle;
}

CShieldIconDlg::CShieldIconDlg() : CDialog(IDD_SHIELD_ICON, nullptr) {}

BOOL CShieldIconDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    const bool rightToLeft = UsesRightToLeftLayout();
    if (rightToLeft) {
        MirrorOnce(GetHwnd(), kMirrorDialog);
        Invalidate();
    }

    okButton_.Attach(GetDlgItem(IDOK));
    okButton_.SetShieldIcon(kIconSize, kIconSize);
    okButton_.SetDefault(true);
    cancelButton_.Attach(GetDlgItem(IDCANCEL));
    cancelButton_.SetStopIcon(kIconSize, kIconSize);

    okButton_.SetWindowText(LoadText(IDS_ADMIN_CONTINUE));
    cancelButton_.SetWindowText(LoadText(IDS_ADMIN_QUIT));
    SetWindowText(LoadText(IDS_CAPTION));
    ::SetDlgItemTextW(GetHwnd(), IDC_SHIELD_TEXT, LoadText(IDS_ADMIN_RIGHTS_QUESTION).c_str());

    for (CSXButton* button : {&okButton_, &cancelButton_}) {
        button->SetTextPos(kTextLeft, CSXButton::kCentred);
        button->SetIconPos(kIconLeft, CSXButton::kCentred);
    }

    if (rightToLeft) {
        for (HWND control : {okButton_.GetHwnd(), cancelButton_.GetHwnd(), GetDlgItem(IDC_SHIELD_TEXT)}) {
            MirrorOnce(control, kMirrorControl);
            ::InvalidateRect(control, nullptr, TRUE);
        }
    }
    return TRUE;  // the focus goes to OK, the first tab stop
}

INT_PTR CShieldIconDlg::DialogProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DRAWITEM) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item && item->CtlType == ODT_BUTTON) {
            if (item->CtlID == IDOK) {
                okButton_.DrawItem(*item);
                return TRUE;
            }
            if (item->CtlID == IDCANCEL) {
                cancelButton_.DrawItem(*item);
                return TRUE;
            }
        }
    }
    return CDialog::DialogProc(msg, wp, lp);
}
