// CSXButton: an owner-drawn push button that draws an icon (or a bitmap)
// and its text itself, placed automatically or at given pixel positions.
// Its dialog hands it WM_DRAWITEM.
#pragma once

#include <windows.h>

#include "ui/controls.h"

class CSXButton : public CButton {
public:
    static constexpr int kCentred = -1;

    CSXButton() = default;
    ~CSXButton() override;

    // The system's shield icon (user32.dll icon 6) or stop icon (icon 3) at
    // the given size. False, with nothing changed, when it cannot be had.
    bool SetShieldIcon(int width, int height);
    bool SetStopIcon(int width, int height);
    // Pixel positions from the button's top-left corner (kCentred in a
    // coordinate centres it); either one ends automatic layout. Return the
    // previous position.
    POINT SetIconPos(int x, int y);
    POINT SetTextPos(int x, int y);
    // Makes the button its dialog's default and draws the outline for it;
    // returns the previous setting.
    bool SetDefault(bool isDefault);

    void DrawItem(const DRAWITEMSTRUCT& item);

    // For tests: where the last draw put the icon and the text, before the
    // one-pixel shift of a pressed button.
    POINT LastIconPos() const { return lastIconPos_; }
    POINT LastTextPos() const { return lastTextPos_; }
    bool HasIcon() const { return icon_ != nullptr; }

private:
    bool SetSystemIcon(int index, int width, int height);
    void Repaint() const;
    void ReleaseImages();

    int autoLayout_ = 1;
    POINT iconPos_{0, 0};
    POINT textPos_{0, 0};
    int gap_ = 4;
    int margin_ = 8;
    HICON icon_ = nullptr;
    HBITMAP image_ = nullptr;
    HBITMAP disabledImage_ = nullptr;
    SIZE imageSize_{0, 0};
    int isDefault_ = 0;
    UINT lastAction_ = 0;
    UINT lastState_ = 0;
    POINT lastIconPos_{0, 0};
    POINT lastTextPos_{0, 0};
};
