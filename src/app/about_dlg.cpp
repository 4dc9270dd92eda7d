#include "app/about_dlg.h"

#include "app/app_resource_ids.h"
#include "base/ui_language.h"
#include "common/program_style.h"
#include "common/resource_ids.h"
#include "ui/text.h"

const wchar_t kJapaneseProductPage[] = L"http://www.velmora.example/jp/tandrel/";
const wchar_t kInternationalProductPage[] = L"http://www.velmora.example/corvane/";

namespace {

// Mirrored and right-aligned. The bits are set, not toggled: a dialog made
// under the mirrored process layout carries them already, and toggling
// would turn it back.
constexpr DWORD kMirroredDialog = WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT;
constexpr DWORD kMirroredText = kMirroredDialog | WS_EX_RIGHT;

void AddExStyle(HWND window, DWORD bits)
{
    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    ::SetWindowLongPtrW(window, GWL_EXSTYLE, style | static_cast<LONG_PTR>(bits));
}

}  // namespace

CAboutDlg::CAboutDlg(HWND owner) : CDialog(IDD_ABOUT, owner) {}

CHyperLink& CAboutDlg::Link()
{
    static CHyperLink link;
    return link;
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    const HWND dialog = GetHwnd();
    const std::wstring product = LoadText(IDS_PRODUCT_NAME);
    const std::wstring version = LoadText(IDS_VERSION);
    ::SetDlgItemTextW(dialog, IDC_ABOUT_PRODUCT, FormatText(L"%s %s", product.c_str(), version.c_str()).c_str());
    ::SetDlgItemTextW(dialog, IDC_ABOUT_NOTICE, LoadText(IDS_NOTICE).c_str());
    ::SetDlgItemTextW(dialog, IDC_ABOUT_WEBSITE, LoadText(IDS_WEBSITE_LABEL).c_str());

    CHyperLink& link = Link();
    link.Attach(GetDlgItem(IDC_ABOUT_LINK), true);
    if (IsJapaneseUILanguage()) {
        link.SetText(kJapaneseProductPage);
        link.SetAddress(kJapaneseProductPage);
    } else {
        link.SetText(LoadText(IDS_WEB_ADDRESS).c_str());
        link.SetAddress(kInternationalProductPage);
    }
    link.SetTooltipText(L"");
    SetWindowText(LoadText(IDS_ABOUT_CAPTION));

    if (UsesRightToLeftLayout()) {
        AddExStyle(dialog, kMirroredDialog);
        Invalidate();
        for (int id : {IDC_ABOUT_PRODUCT, IDC_ABOUT_NOTICE, IDC_ABOUT_WEBSITE, IDC_ABOUT_LINK})
            AddExStyle(GetDlgItem(id), kMirroredText);
        Invalidate();
    }
    return TRUE;
}
