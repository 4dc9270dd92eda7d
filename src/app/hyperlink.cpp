#include "app/hyperlink.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cwchar>

namespace {

constexpr wchar_t kLinkProperty[] = L"CHyperLinkInst";
constexpr COLORREF kNormalColour = RGB(0, 0, 0xFF);
constexpr COLORREF kVisitedColour = RGB(0x80, 0, 0x80);
constexpr COLORREF kHoverColour = RGB(0xFF, 0, 0);
constexpr int kMaxTipWidth = 640;

// What all attached links share: they live in one parent window.
struct SharedState {
    int attached = 0;
    HWND parent = nullptr;
    WNDPROC parentProc = nullptr;
    HWND tooltip = nullptr;
    HWND hovered = nullptr;  // the control of the link under the mouse
};
SharedState g_shared;

LinkOpener g_opener = ::ShellExecuteW;

void CopyBounded(wchar_t (&to)[kLinkTextUnits], const wchar_t* from)
{
    const size_t length = from ? wcsnlen(from, kLinkTextUnits - 1) : 0;
    if (length)
        std::wmemcpy(to, from, length);
    to[length] = L'\0';
}

TOOLINFOW ToolRecord(HWND parent, HWND control)
{
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = parent;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    return tool;
}

}  // namespace

void SetLinkOpener(LinkOpener opener)
{
    g_opener = opener ? opener : ::ShellExecuteW;
}

CHyperLink::CHyperLink()
{
    ResetState();
}

CHyperLink::~CHyperLink()
{
    Detach();
}

HWND CHyperLink::Tooltip()
{
    return g_shared.tooltip;
}

void CHyperLink::ResetState()
{
    normalColour_ = kNormalColour;
    visitedColour_ = kVisitedColour;
    hoverColour_ = kHoverColour;
    normalBackground_ = visitedBackground_ = hoverBackground_ = ::GetSysColor(COLOR_BTNFACE);
    tooltipText_[0] = L'\0';
    previousCursor_ = nullptr;
    ownsCursor_ = false;
    visited_ = false;
    hovering_ = false;
}

COLORREF CHyperLink::TextColour() const
{
    return hovering_ ? hoverColour_ : visited_ ? visitedColour_ : normalColour_;
}

CHyperLink* CHyperLink::FromControl(HWND control)
{
    return control ? static_cast<CHyperLink*>(::GetPropW(control, kLinkProperty)) : nullptr;
}

int CHyperLink::Attach(HWND control, bool underline)
{
    if (control_)
        return kLinkAlreadyAttached;
    if (!control)
        return kLinkMissingArgument;
    control_ = control;
    ResetState();

    const HWND parent = ::GetParent(control);
    if (g_shared.attached++ == 0) {
        g_shared.parent = parent;
        g_shared.parentProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CHyperLink::ParentProc)));
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&controls);
        const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(control, GWLP_HINSTANCE));
        g_shared.tooltip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, instance,
                                             nullptr);
    }
    ::GetWindowRect(control, &rect_);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect_), 2);
    AddTool();

    ::SetPropW(control, kLinkProperty, this);
    previousProc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CHyperLink::LinkProc)));

    SetLinkCursor(nullptr);
    SetUnderline(underline);

    wchar_t text[kLinkTextUnits] = {};
    ::GetWindowTextW(control, text, static_cast<int>(kLinkTextUnits));
    CopyBounded(address_, text);
    SetText(text);
    return 0;
}

HWND CHyperLink::Detach()
{
    if (!control_)
        return nullptr;
    if (font_)
        ::DeleteObject(font_);
    font_ = nullptr;
    cursor_ = nullptr;
    ownsCursor_ = false;
    RemoveTool();
    if (previousProc_) {
        ::SetWindowLongPtrW(control_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
        ::RemovePropW(control_, kLinkProperty);
    }
    if (g_shared.hovered == control_)
        g_shared.hovered = nullptr;
    if (--g_shared.attached == 0) {
        if (g_shared.tooltip)
            ::DestroyWindow(g_shared.tooltip);
        g_shared.tooltip = nullptr;
        if (g_shared.parentProc)
            ::SetWindowLongPtrW(g_shared.parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_shared.parentProc));
        g_shared.parentProc = nullptr;
        g_shared.parent = nullptr;
        g_shared.hovered = nullptr;
    }
    const HWND former = control_;
    control_ = nullptr;
    previousProc_ = nullptr;
    address_[0] = L'\0';
    return former;
}

int CHyperLink::SetText(const wchar_t* text)
{
    if (!control_)
        return kLinkNotAttached;
    if (!text)
        return kLinkMissingArgument;
    ::SetWindowTextW(control_, text);
    SizeToText();
    UpdateTool();
    return 0;
}

int CHyperLink::SetAddress(const wchar_t* address)
{
    if (!control_)
        return kLinkNotAttached;
    CopyBounded(address_, address);
    UpdateTool();
    return 0;
}

int CHyperLink::SetTooltipText(const wchar_t* text)
{
    if (!control_ || !g_shared.tooltip)
        return kLinkNotAttached;
    CopyBounded(tooltipText_, text);
    UpdateTool();
    return 0;
}

int CHyperLink::SetUnderline(bool underline)
{
    if (!control_)
        return kLinkNotAttached;
    LOGFONTW description{};
    HFONT current = reinterpret_cast<HFONT>(::SendMessageW(control_, WM_GETFONT, 0, 0));
    if (!current)
        current = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    if (!::GetObjectW(current, sizeof(description), &description))
        return kLinkNoResource;
    description.lfUnderline = underline ? TRUE : FALSE;
    HFONT font = ::CreateFontIndirectW(&description);
    if (!font)
        return kLinkNoResource;
    ::SendMessageW(control_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (font_)
        ::DeleteObject(font_);
    font_ = font;
    SizeToText();
    UpdateTool();
    return 0;
}

HCURSOR CHyperLink::SetLinkCursor(HCURSOR cursor)
{
    if (!control_)
        return nullptr;
    const HCURSOR previous = cursor_;
    if (ownsCursor_ && cursor_)
        ::DestroyCursor(cursor_);
    // LoadCursor hands out the system's shared cursor: never destroyed.
    cursor_ = cursor ? cursor : ::LoadCursorW(nullptr, IDC_HAND);
    ownsCursor_ = false;
    return previous;
}

int CHyperLink::SizeToText()
{
    if (!control_)
        return kLinkNotAttached;
    wchar_t text[kLinkTextUnits] = {};
    const int length = ::GetWindowTextW(control_, text, static_cast<int>(kLinkTextUnits));
    SIZE textSize{};
    HDC dc = ::GetDC(control_);
    HGDIOBJ old = ::SelectObject(dc, font_ ? font_ : ::GetStockObject(DEFAULT_GUI_FONT));
    ::GetTextExtentPoint32W(dc, text, length, &textSize);
    ::SelectObject(dc, old);
    ::ReleaseDC(control_, dc);

    // In the parent's client coordinates, which read from the right in a
    // mirrored dialog: the text keeps to the edge it is drawn from.
    const HWND parent = ::GetParent(control_);
    RECT rect{};
    ::GetWindowRect(control_, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    const LONG style = ::GetWindowLongW(control_, GWL_STYLE);
    const LONG exStyle = ::GetWindowLongW(control_, GWL_EXSTYLE);
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    if (style & SS_CENTERIMAGE)
        rect.top += height / 2 - textSize.cy / 2;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER:
        rect.left = rect.right - width / 2 - textSize.cx / 2;
        break;
    case SS_RIGHT:
        rect.left = rect.right - textSize.cx;
        break;
    default:
        break;
    }
    LONG cx = textSize.cx, cy = textSize.cy;
    if ((style & SS_SUNKEN) || (exStyle & WS_EX_STATICEDGE)) {
        cx += 2 * ::GetSystemMetrics(SM_CXBORDER);
        cy += 2 * ::GetSystemMetrics(SM_CYBORDER);
    } else if (exStyle & WS_EX_DLGMODALFRAME) {
        cx += 2 * ::GetSystemMetrics(SM_CXDLGFRAME);
        cy += 2 * ::GetSystemMetrics(SM_CYDLGFRAME);
    }
    if (exStyle & WS_EX_CLIENTEDGE) {
        cx += 2 * ::GetSystemMetrics(SM_CXEDGE);
        cy += 2 * ::GetSystemMetrics(SM_CYEDGE);
    }
    ::MoveWindow(control_, rect.left, rect.top, cx, cy, TRUE);
    rect_ = RECT{rect.left, rect.top, rect.left + cx, rect.top + cy};
    return 0;
}

const wchar_t* CHyperLink::ToolText() const
{
    return tooltipText_[0] ? tooltipText_ : address_;
}

void CHyperLink::AddTool()
{
    if (!g_shared.tooltip)
        return;
    TOOLINFOW tool = ToolRecord(::GetParent(control_), control_);
    tool.uFlags = TTF_SUBCLASS;
    tool.rect = rect_;
    tool.hinst = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(control_, GWLP_HINSTANCE));
    tool.lpszText = const_cast<wchar_t*>(ToolText());
    ::SendMessageW(g_shared.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(g_shared.tooltip, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
}

void CHyperLink::UpdateTool()
{
    if (!g_shared.tooltip || !control_)
        return;
    TOOLINFOW tool = ToolRecord(::GetParent(control_), control_);
    tool.rect = rect_;
    ::SendMessageW(g_shared.tooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    tool.hinst = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(control_, GWLP_HINSTANCE));
    tool.lpszText = const_cast<wchar_t*>(ToolText());
    ::SendMessageW(g_shared.tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CHyperLink::RemoveTool()
{
    if (!g_shared.tooltip)
        return;
    TOOLINFOW tool = ToolRecord(::GetParent(control_), control_);
    ::SendMessageW(g_shared.tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CHyperLink::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(control_, &paint);
    RECT client{};
    ::GetClientRect(control_, &client);
    const COLORREF background = hovering_ ? hoverBackground_ : visited_ ? visitedBackground_ : normalBackground_;
    HBRUSH brush = ::CreateSolidBrush(background);
    ::FillRect(dc, &client, brush);
    ::DeleteObject(brush);
    wchar_t text[kLinkTextUnits] = {};
    const int length = ::GetWindowTextW(control_, text, static_cast<int>(kLinkTextUnits));
    ::SetTextColor(dc, TextColour());
    ::SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = ::SelectObject(dc, font_ ? font_ : ::GetStockObject(DEFAULT_GUI_FONT));
    ::DrawTextW(dc, text, length, &client, DT_LEFT | DT_TOP | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::EndPaint(control_, &paint);
}

void CHyperLink::StartHovering(HWND parent)
{
    hovering_ = true;
    previousCursor_ = ::SetCursor(cursor_ ? cursor_ : ::LoadCursorW(nullptr, IDC_ARROW));
    ::SetCapture(parent);
    ::InvalidateRect(control_, nullptr, TRUE);
}

void CHyperLink::StopHovering()
{
    hovering_ = false;
    ::SetCursor(previousCursor_ ? previousCursor_ : ::LoadCursorW(nullptr, IDC_ARROW));
    ::ReleaseCapture();
    ::InvalidateRect(control_, nullptr, TRUE);
}

void CHyperLink::EndHover(HWND)
{
    CHyperLink* link = FromControl(g_shared.hovered);
    g_shared.hovered = nullptr;
    if (link && link->hovering_)
        link->StopHovering();
}

LRESULT CALLBACK CHyperLink::LinkProc(HWND control, UINT msg, WPARAM wp, LPARAM lp)
{
    CHyperLink* link = FromControl(control);
    if (!link)
        return ::DefWindowProcW(control, msg, wp, lp);
    switch (msg) {
    case WM_DESTROY: {
        // Detach clears the saved procedure: keep it for the call after.
        const WNDPROC previous = link->previousProc_;
        link->Detach();
        return ::CallWindowProcW(previous, control, msg, wp, lp);
    }
    case WM_PAINT:
        link->Paint();
        return 0;
    default:
        return ::CallWindowProcW(link->previousProc_, control, msg, wp, lp);
    }
}

LRESULT CALLBACK CHyperLink::ParentProc(HWND parent, UINT msg, WPARAM wp, LPARAM lp)
{
    const WNDPROC saved = g_shared.parentProc;
    switch (msg) {
    case WM_MOUSEMOVE: {
        POINT point{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        HWND child = ::ChildWindowFromPoint(parent, point);
        if (child) {
            POINT screen = point;
            ::ClientToScreen(parent, &screen);
            const HWND top = ::WindowFromPoint(screen);
            if (top != child && top != parent)
                child = nullptr;
        }
        if (child && child != parent) {
            if (CHyperLink* link = FromControl(child)) {
                g_shared.hovered = child;
                if (!link->hovering_)
                    link->StartHovering(parent);
            }
        } else if (g_shared.hovered) {
            EndHover(parent);
        }
        break;
    }
    case WM_SETCURSOR: {
        const CHyperLink* link = FromControl(g_shared.hovered);
        if (link && link->hovering_)
            return TRUE;
        break;
    }
    case WM_LBUTTONDOWN: {
        POINT point{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        const HWND child = ::ChildWindowFromPoint(parent, point);
        CHyperLink* link = child && child != parent ? FromControl(child) : nullptr;
        if (link) {
            link->visited_ = true;
            ::InvalidateRect(child, nullptr, TRUE);
            if (link->address_[0])
                g_opener(parent, nullptr, link->address_, nullptr, nullptr, SW_SHOWNORMAL);
        }
        break;
    }
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE && g_shared.hovered && FromControl(g_shared.hovered))
            EndHover(parent);
        break;
    default:
        break;
    }
    return saved ? ::CallWindowProcW(saved, parent, msg, wp, lp) : ::DefWindowProcW(parent, msg, wp, lp);
}
