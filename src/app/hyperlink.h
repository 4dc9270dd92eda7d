// CHyperLink turns a static text control into a link: it draws the text
// underlined in the colour of its state (blue, red under the mouse, purple
// once clicked), shows a hand cursor and a tooltip with the address, and
// opens the address with the shell when clicked. It subclasses the control
// and, once for all its links, the control's parent, which sees the mouse
// (a plain static lets it through).
#pragma once

#include <windows.h>

constexpr int kLinkNotAttached = -2;
constexpr int kLinkMissingArgument = -3;
constexpr int kLinkAlreadyAttached = -4;
constexpr int kLinkNoResource = -5;  // font or tooltip window

constexpr size_t kLinkTextUnits = 256;

// How a click opens the address: ShellExecuteW, or a stand-in for tests.
using LinkOpener = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
void SetLinkOpener(LinkOpener opener);  // null: ShellExecuteW

class CHyperLink {
public:
    CHyperLink();
    ~CHyperLink();
    CHyperLink(const CHyperLink&) = delete;
    CHyperLink& operator=(const CHyperLink&) = delete;

    int Attach(HWND control, bool underline);
    // The control that was attached, or null.
    HWND Detach();
    int SetText(const wchar_t* text);
    int SetAddress(const wchar_t* address);
    int SetTooltipText(const wchar_t* text);
    int SetUnderline(bool underline);
    // Null selects the system's hand cursor. Returns the previous cursor.
    HCURSOR SetLinkCursor(HCURSOR cursor);
    int SizeToText();

    HWND Control() const { return control_; }
    const wchar_t* Address() const { return address_; }
    bool Visited() const { return visited_; }
    bool Hovering() const { return hovering_; }
    // The colour its text is drawn in now.
    COLORREF TextColour() const;

    // The tooltip window all links share (null when none is attached).
    static HWND Tooltip();

private:
    static LRESULT CALLBACK LinkProc(HWND control, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK ParentProc(HWND parent, UINT msg, WPARAM wp, LPARAM lp);
    static CHyperLink* FromControl(HWND control);
    static void EndHover(HWND parent);

    void ResetState();
    void Paint();
    void StartHovering(HWND parent);
    void StopHovering();
    void AddTool();
    void UpdateTool();
    void RemoveTool();
    const wchar_t* ToolText() const;

    HWND control_ = nullptr;
    WNDPROC previousProc_ = nullptr;
    wchar_t address_[kLinkTextUnits] = {};
    wchar_t tooltipText_[kLinkTextUnits] = {};
    HFONT font_ = nullptr;
    COLORREF normalColour_;
    COLORREF visitedColour_;
    COLORREF hoverColour_;
    COLORREF normalBackground_;
    COLORREF visitedBackground_;
    COLORREF hoverBackground_;
    HCURSOR cursor_ = nullptr;
    HCURSOR previousCursor_ = nullptr;
    // Only a cursor the link made itself would be destroyed; the system's
    // hand cursor and a given one are shared and never are.
    bool ownsCursor_ = false;
    bool visited_ = false;
    bool hovering_ = false;
    RECT rect_ = {};
};
