#include "tray/sx_button.h"

#include <shellapi.h>

#include <algorithm>
#include <string>

namespace {

constexpr int kShieldIconIndex = 6;
constexpr int kStopIconIndex = 3;

// A coordinate given as kCentred, resolved in room pixels for size pixels.
int Place(int given, int room, int size)
{
    return given == CSXButton::kCentred ? (room - size) / 2 : given;
}

}  // namespace

CSXButton::~CSXButton()
{
    if (icon_)
        ::DestroyIcon(icon_);
    ReleaseImages();
}

void CSXButton::ReleaseImages()
{
    if (image_)
        ::DeleteObject(image_);
    if (disabledImage_)
        ::DeleteObject(disabledImage_);
    image_ = nullptr;
    disabledImage_ = nullptr;
}

bool CSXButton::SetSystemIcon(int index, int width, int height)
{
    HICON extracted = ::ExtractIconW(::GetModuleHandleW(nullptr), L"user32.dll", static_cast<UINT>(index));
    // 1 means the file holds no icons at all.
    if (extracted == nullptr || extracted == reinterpret_cast<HICON>(1))
        return false;
    if (icon_)
        ::DestroyIcon(icon_);
    icon_ = extracted;
    imageSize_ = SIZE{width, height};
    ReleaseImages();
    Repaint();
    return true;
}

bool CSXButton::SetShieldIcon(int width, int height) { return SetSystemIcon(kShieldIconIndex, width, height); }
bool CSXButton::SetStopIcon(int width, int height) { return SetSystemIcon(kStopIconIndex, width, height); }

POINT CSXButton::SetIconPos(int x, int y)
{
    POINT previous = iconPos_;
    iconPos_ = POINT{x, y};
    autoLayout_ = 0;
    Repaint();
    return previous;
}

POINT CSXButton::SetTextPos(int x, int y)
{
    POINT previous = textPos_;
    textPos_ = POINT{x, y};
    autoLayout_ = 0;
    Repaint();
    return previous;
}

bool CSXButton::SetDefault(bool isDefault)
{
    bool previous = isDefault_ != 0;
    if (HWND hwnd = GetHwnd()) {
        HWND owner = ::GetWindow(hwnd, GW_OWNER);
        if (!owner)
            owner = ::GetParent(hwnd);
        if (owner)
            ::SendMessageW(owner, DM_SETDEFID, static_cast<WPARAM>(::GetDlgCtrlID(hwnd)), 0);
    }
    isDefault_ = isDefault ? 1 : 0;
    Repaint();
    return previous;
}

void CSXButton::Repaint() const
{
    if (GetHwnd())
        Invalidate();
}

void CSXButton::DrawItem(const DRAWITEMSTRUCT& item)
{
    HDC dc = item.hDC;
    const RECT itemRect = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const int offset = selected ? 1 : 0;
    const UINT disabledFlag = disabled ? DSS_DISABLED : DSS_NORMAL;
    HBITMAP bitmap = disabled ? disabledImage_ : image_;

    if (item.itemAction != ODA_FOCUS) {
        RECT work = itemRect;
        if (isDefault_) {
            ::InflateRect(&work, -1, -1);
            HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
            HGDIOBJ oldBrush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
            ::Rectangle(dc, itemRect.left, itemRect.top, itemRect.right, itemRect.bottom);
            ::SelectObject(dc, oldBrush);
            ::SelectObject(dc, oldPen);
        }
        ::DrawFrameControl(dc, &work, DFC_BUTTON, DFCS_BUTTONPUSH | (selected ? DFCS_PUSHED : 0));

        const std::wstring text = GetWindowText();
        const int width = itemRect.right - itemRect.left;
        const int height = itemRect.bottom - itemRect.top;
        const bool hasImage = icon_ != nullptr || bitmap != nullptr;
        const int imageWidth = hasImage ? imageSize_.cx : 0;

        if (hasImage) {
            POINT at;
            if (!autoLayout_)
                at = POINT{Place(iconPos_.x, width, imageSize_.cx), Place(iconPos_.y, height, imageSize_.cy)};
            else if (!text.empty())
                at = POINT{gap_, (height - imageSize_.cy) / 2};
            else
                at = POINT{(width - imageSize_.cx) / 2, (height - imageSize_.cy) / 2};
            lastIconPos_ = at;
            if (icon_) {
                ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon_), 0, itemRect.left + at.x + offset,
                             itemRect.top + at.y + offset, imageSize_.cx, imageSize_.cy, DST_ICON | disabledFlag);
            } else {
                ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(bitmap), 0, itemRect.left + at.x + offset,
                             itemRect.top + at.y + offset, imageSize_.cx, imageSize_.cy, DST_BITMAP | disabledFlag);
            }
        }

        if (!text.empty()) {
            // The button's own font, and a transparent background so the
            // face drawn above shows through; both put back afterwards.
            HGDIOBJ oldFont = nullptr;
            if (HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)))
                oldFont = ::SelectObject(dc, font);
            int oldMode = ::SetBkMode(dc, TRANSPARENT);
            SIZE extent{0, 0};
            ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);

            POINT at;
            bool centredY;
            if (!autoLayout_) {
                at = POINT{Place(textPos_.x, width, extent.cx), Place(textPos_.y, height, extent.cy)};
                centredY = textPos_.y == kCentred;
            } else {
                int x = hasImage ? margin_ + std::max(0, width - static_cast<int>(extent.cx) - margin_ - imageWidth - gap_) / 2 +
                                       imageWidth + gap_
                                 : (width - static_cast<int>(extent.cx)) / 2;
                at = POINT{x, (height - extent.cy) / 2};
                centredY = true;
            }
            lastTextPos_ = at;
            ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(text.c_str()),
                         static_cast<WPARAM>(text.size()), itemRect.left + at.x + offset,
                         itemRect.top + at.y + offset - (centredY ? 1 : 0), extent.cx, extent.cy,
                         DST_PREFIXTEXT | disabledFlag);
            ::SetBkMode(dc, oldMode);
            if (oldFont)
                ::SelectObject(dc, oldFont);
        }
    }

    if (!disabled) {
        // The focus rectangle is drawn by inversion: a focus-only change
        // toggles it, while a fresh face gets it only when focused (else a
        // full redraw after losing the focus would draw it back).
        const bool focusChanged = ((item.itemState ^ lastState_) & ODS_FOCUS) != 0;
        const bool focused = (item.itemState & ODS_FOCUS) != 0;
        if (item.itemAction == ODA_FOCUS ? focusChanged : focused) {
            RECT focus = itemRect;
            int smaller = std::min(focus.right - focus.left, focus.bottom - focus.top);
            int inset = smaller <= 15 ? smaller / 4 : 3;
            ::InflateRect(&focus, -inset, -inset);
            ::DrawFocusRect(dc, &focus);
        }
    }

    lastAction_ = item.itemAction;
    lastState_ = item.itemState;
}
