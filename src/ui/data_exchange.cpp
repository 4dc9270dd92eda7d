#include "ui/data_exchange.h"

#include <vector>

bool CDataExchange::Control(int id, CWnd& control)
{
    HWND item = ::GetDlgItem(dialog_, id);
    if (!item) {
        ok_ = false;
        return false;
    }
    if (control.GetHwnd() != item)
        control.Attach(item);
    return true;
}

bool CDataExchange::Text(int id, std::wstring& value)
{
    HWND item = ::GetDlgItem(dialog_, id);
    if (!item) {
        ok_ = false;
        return false;
    }
    if (!saving_) {
        ::SetWindowTextW(item, value.c_str());
        return true;
    }
    int length = ::GetWindowTextLengthW(item);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int copied = ::GetWindowTextW(item, buffer.data(), length + 1);
    value.assign(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
    return true;
}
