// CFrameWnd: a top-level window with an optional child view that fills its
// client area and gets the focus with it. Commands are routed to the view,
// then to the frame's own OnCommand, then to the application; the same
// chain decides the state of each item before a popup menu opens.
#pragma once

#include <windows.h>

#include "ui/wnd.h"

class CFrameWnd : public CWnd {
public:
    // Creates the frame hidden; show it with ShowWindow when wanted.
    bool Create(const wchar_t* className, const wchar_t* title, DWORD style = WS_OVERLAPPEDWINDOW);

    void SetView(CWnd* view) { view_ = view; }
    CWnd* GetView() const { return view_; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

    // The routing entry: a class overrides it to claim ranges of ids
    // before the ordinary chain sees them.
    virtual bool RouteCommand(UINT id);
    virtual bool RouteCommandUpdate(CCommandUI& ui);

private:
    // Routing adapter for UpdatePopupMenu.
    class Router : public CCommandTarget {
    public:
        explicit Router(CFrameWnd& frame) : frame_(frame) {}
        bool OnUpdateCommand(CCommandUI& ui) override { return frame_.RouteCommandUpdate(ui); }

    private:
        CFrameWnd& frame_;
    };

    void LayoutView() const;

    CWnd* view_ = nullptr;
};
