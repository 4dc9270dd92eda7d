// CWnd: a window handle with the few operations the dialogs and the frame
// use, and the window procedure that binds a C++ object to a window it
// creates. Controls of a dialog are CWnd objects attached to their handle.
#pragma once

#include <windows.h>

#include <string>

#include "ui/command.h"

class CWnd : public CCommandTarget {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetHwnd() const { return hwnd_; }
    bool IsWindow() const { return hwnd_ != nullptr && ::IsWindow(hwnd_) != FALSE; }

    // Binds an existing window (a dialog's control) without taking it over.
    void Attach(HWND hwnd) { hwnd_ = hwnd; }
    HWND Detach();

    // A window of the class registered for this object (RegisterClass with
    // className on first use); this object receives its messages in
    // WndProc from WM_NCCREATE on.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                  int x, int y, int width, int height, HWND parent, HMENU menu);

    std::wstring GetWindowText() const;
    void SetWindowText(const std::wstring& text) const { ::SetWindowTextW(hwnd_, text.c_str()); }
    void ShowWindow(int command) const { ::ShowWindow(hwnd_, command); }
    void EnableWindow(bool enable) const { ::EnableWindow(hwnd_, enable ? TRUE : FALSE); }
    void Invalidate() const { ::InvalidateRect(hwnd_, nullptr, TRUE); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd_, id); }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::SendMessageW(hwnd_, msg, wp, lp); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return ::PostMessageW(hwnd_, msg, wp, lp); }

    // Extended style bits toggled (exclusive or), as right-to-left mirroring
    // of a window and its controls is done.
    void ToggleExStyle(DWORD bits) const;
    void SetExStyle(DWORD exStyle) const;

    // The object bound to a window created by CreateEx, or null.
    static CWnd* FromHandle(HWND hwnd);

protected:
    // One switch over the messages a class handles, ending in
    // DefWindowProc (through the base).
    virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
    // Adjusts the creation parameters before the window exists.
    virtual void PreCreateWindow(CREATESTRUCTW& cs);
    // After WM_NCDESTROY: the handle is gone; an object that owns itself
    // deletes itself here.
    virtual void PostNcDestroy() {}

    // Binds this object to a window it did not create through CreateEx
    // (a dialog), so FromHandle finds it; undone when the window goes.
    void BindToWindow(HWND hwnd);
    void UnbindFromWindow();

private:
    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
};
