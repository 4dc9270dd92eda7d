#include "ui/dialog.h"


namespace {

// Modeless dialogs of this thread, for the message loop's IsDialogMessage.
// A plain array: a thread_local with a destructor would make the 32-bit
// programs import GetModuleHandleExW, which Windows 2000 lacks.
constexpr size_t kMaxModeless = 8;
thread_local HWND g_modeless[kMaxModeless];

bool AddModeless(HWND hwnd)
{
    for (HWND& slot : g_modeless) {
        if (!slot) {
            slot = hwnd;
            return true;
        }
    }
    return false;
}

void RemoveModeless(HWND hwnd)
{
    for (HWND& slot : g_modeless) {
        if (slot == hwnd)
            slot = nullptr;
    }
}

}  // namespace

INT_PTR CDialog::DoModal()
{
    modal_ = true;
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent_,
                             StaticDialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create(HWND parent)
{
    modal_ = false;
    parent_ = parent;
    HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                                     StaticDialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

void CDialog::EndDialog(INT_PTR result)
{
    if (!GetHwnd())
        return;
    if (modal_)
        ::EndDialog(GetHwnd(), result);
    else
        ::DestroyWindow(GetHwnd());
}

bool CDialog::UpdateData(bool saving)
{
    if (!GetHwnd())
        return false;
    CDataExchange dx(GetHwnd(), saving);
    DoDataExchange(dx);
    return dx.Succeeded();
}

bool CDialog::PreTranslateModeless(MSG& msg)
{
    for (HWND dialog : g_modeless) {
        if (dialog && (msg.hwnd == dialog || ::IsChild(dialog, msg.hwnd)) && ::IsDialogMessageW(dialog, &msg))
            return true;
    }
    return false;
}

INT_PTR CDialog::DialogProc(UINT msg, WPARAM wp, LPARAM /*lp*/)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDOK:
            OnOK();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        default:
            return OnCommand(LOWORD(wp)) ? TRUE : FALSE;
        }
    }
    return FALSE;
}

BOOL CDialog::OnInitDialog()
{
    // Centred on the owner, or on the screen's work area without one.
    RECT self{};
    RECT around{};
    HWND owner = ::GetWindow(GetHwnd(), GW_OWNER);
    if (!(owner && ::IsWindowVisible(owner) && !::IsIconic(owner) && ::GetWindowRect(owner, &around)))
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
    if (::GetWindowRect(GetHwnd(), &self)) {
        const int width = self.right - self.left;
        const int height = self.bottom - self.top;
        ::SetWindowPos(GetHwnd(), nullptr, around.left + (around.right - around.left - width) / 2,
                       around.top + (around.bottom - around.top - height) / 2, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* self = static_cast<CDialog*>(FromHandle(hwnd));
    if (!self && msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lp);
        if (self) {
            self->BindToWindow(hwnd);
            if (!self->modal_)
                AddModeless(hwnd);
        }
    }
    if (!self)
        return FALSE;

    INT_PTR result = self->DialogProc(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        RemoveModeless(hwnd);
        self->UnbindFromWindow();
        self->PostNcDestroy();
    }
    return result;
}
