#include "ui/wnd.h"

#include <vector>

namespace {

// Only windows made by CreateEx carry it, so FromHandle never mistakes
// another program's or the system's user data for an object.
constexpr wchar_t kObjectProperty[] = L"TdzWndObject";

}  // namespace

CWnd::~CWnd() = default;

HWND CWnd::Detach()
{
    HWND hwnd = hwnd_;
    hwnd_ = nullptr;
    return hwnd;
}

bool CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                    int x, int y, int width, int height, HWND parent, HMENU menu)
{
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    CREATESTRUCTW cs{};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className;
    cs.lpszName = title;
    cs.style = style;
    cs.x = x;
    cs.y = y;
    cs.cx = width;
    cs.cy = height;
    cs.hwndParent = parent;
    cs.hMenu = menu;
    cs.hInstance = instance;
    PreCreateWindow(cs);

    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!::GetClassInfoExW(instance, cs.lpszClass, &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = StaticWndProc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = cs.lpszClass;
        if (!::RegisterClassExW(&wc))
            return false;
    }
    HWND hwnd = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y,
                                  cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, this);
    return hwnd != nullptr;
}

std::wstring CWnd::GetWindowText() const
{
    int length = ::GetWindowTextLengthW(hwnd_);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int copied = ::GetWindowTextW(hwnd_, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void CWnd::ToggleExStyle(DWORD bits) const
{
    LONG_PTR exStyle = ::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
    ::SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, exStyle ^ static_cast<LONG_PTR>(bits));
}

void CWnd::SetExStyle(DWORD exStyle) const
{
    ::SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    return hwnd ? static_cast<CWnd*>(::GetPropW(hwnd, kObjectProperty)) : nullptr;
}

void CWnd::BindToWindow(HWND hwnd)
{
    hwnd_ = hwnd;
    ::SetPropW(hwnd, kObjectProperty, this);
}

void CWnd::UnbindFromWindow()
{
    if (hwnd_)
        ::RemovePropW(hwnd_, kObjectProperty);
    hwnd_ = nullptr;
}

LRESULT CWnd::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

void CWnd::PreCreateWindow(CREATESTRUCTW&) {}

LRESULT CALLBACK CWnd::StaticWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    CWnd* self = FromHandle(hwnd);
    if (!self && msg == WM_NCCREATE) {
        self = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        if (self)
            self->BindToWindow(hwnd);
    }
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wp, lp);

    LRESULT result = self->WndProc(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        self->UnbindFromWindow();
        self->PostNcDestroy();
    }
    return result;
}
