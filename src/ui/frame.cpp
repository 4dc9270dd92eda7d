#include "ui/frame.h"

#include "ui/app.h"

bool CFrameWnd::Create(const wchar_t* className, const wchar_t* title, DWORD style)
{
    return CreateEx(0, className, title, style & ~WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, nullptr, nullptr);
}

bool CFrameWnd::RouteCommand(UINT id)
{
    if (view_ && view_->OnCommand(id))
        return true;
    if (OnCommand(id))
        return true;
    CWinApp* app = CWinApp::GetApp();
    return app && app->OnCommand(id);
}

bool CFrameWnd::RouteCommandUpdate(CCommandUI& ui)
{
    if (view_ && view_->OnUpdateCommand(ui))
        return true;
    if (OnUpdateCommand(ui))
        return true;
    CWinApp* app = CWinApp::GetApp();
    return app && app->OnUpdateCommand(ui);
}

void CFrameWnd::LayoutView() const
{
    if (!view_ || !view_->GetHwnd())
        return;
    RECT client{};
    ::GetClientRect(GetHwnd(), &client);
    ::MoveWindow(view_->GetHwnd(), 0, 0, client.right, client.bottom, TRUE);
}

LRESULT CFrameWnd::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
        if (RouteCommand(LOWORD(wp)))
            return 0;
        break;
    case WM_INITMENUPOPUP:
        if (!HIWORD(lp)) {  // not the window menu
            Router router(*this);
            UpdatePopupMenu(reinterpret_cast<HMENU>(wp), router);
            return 0;
        }
        break;
    case WM_SETFOCUS:
        if (view_ && view_->GetHwnd()) {
            ::SetFocus(view_->GetHwnd());
            return 0;
        }
        break;
    case WM_SIZE:
        LayoutView();
        break;
    case WM_NCDESTROY: {
        CWinApp* app = CWinApp::GetApp();
        if (app && app->GetMainWnd() == this) {
            app->SetMainWnd(nullptr);
            ::PostQuitMessage(0);
        }
        break;
    }
    }
    return CWnd::WndProc(msg, wp, lp);
}
