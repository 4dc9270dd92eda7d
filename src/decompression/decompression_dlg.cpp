#include "decompression/decompression_dlg.h"

#include "common/resource_ids.h"
#include "ui/text.h"

CDecompressionDlg::CDecompressionDlg()
    : CProcessingModalDlg(IDD_DECOMPRESSION),
      icon_(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM)))
{
}

void CDecompressionDlg::PrepareWindow()
{
    HMENU systemMenu = ::GetSystemMenu(GetHwnd(), FALSE);
    if (systemMenu) {
        std::wstring about = LoadText(IDS_ABOUT_DECOMPRESSION_ITEM);
        if (!about.empty()) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUT_DECOMPRESSION, about.c_str());
        }
    }
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
}

INT_PTR CDecompressionDlg::DialogProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_SYSCOMMAND:
        if (OnSysCommand(wp))
            return TRUE;
        break;
    case WM_PAINT:
        if (OnPaint())
            return TRUE;
        break;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(icon_);
    }
    return CProcessingModalDlg::DialogProc(msg, wp, lp);
}

bool CDecompressionDlg::OnSysCommand(WPARAM command)
{
    // The about item and the ids next to it (16 to 31); the low four bits of
    // a window-menu command belong to the system.
    if ((command & 0xFFF0) != IDM_ABOUT_DECOMPRESSION)
        return false;
    CDialog about(IDD_DECOMPRESSION_ABOUT, GetHwnd());
    about.DoModal();
    return true;
}

bool CDecompressionDlg::OnPaint()
{
    if (!::IsIconic(GetHwnd()))
        return false;
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(GetHwnd(), &paint);
    RECT client{};
    ::GetClientRect(GetHwnd(), &client);
    int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, icon_);
    ::EndPaint(GetHwnd(), &paint);
    return true;
}
