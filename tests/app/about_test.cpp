// The about box as a user sees it: its texts, a link that is blue, red
// under the mouse and purple once clicked, opened through the shell, shrunk
// to its text, attached afresh at each opening, mirrored for a
// right-to-left language.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/app_resource_ids.h"
#include "base/ui_language.h"
#include "file_test_util.h"
#include "modal_run.h"
#include "window_probe.h"

namespace {

constexpr COLORREF kBlue = RGB(0, 0, 0xFF);
constexpr COLORREF kRed = RGB(0xFF, 0, 0);
constexpr COLORREF kPurple = RGB(0x80, 0, 0x80);

std::vector<std::wstring> g_opened;

HINSTANCE WINAPI RecordOpen(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    g_opened.push_back(file ? file : L"");
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

// A point of the dialog's client area, as a mouse message carries it.
LPARAM At(POINT point) { return MAKELPARAM(point.x, point.y); }

POINT ClientPointOf(HWND dialog, HWND control, int dx, int dy)
{
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    const int left = std::min(rect.left, rect.right);
    return POINT{left + dx, (rect.top + rect.bottom) / 2 + dy};
}

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetLinkOpener(RecordOpen);
        g_opened.clear();
        // As the program does before any window exists.
        if (IsRightToLeftUILanguage())
            ::SetProcessDefaultLayout(LAYOUT_RTL);
    }
    void TearDown() override { SetLinkOpener(nullptr); }
};

TEST_F(AboutBox, LinkFollowsTheMouseOpensTheAddressAndStartsAfreshEachTime)
{
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        CAboutDlg about;
        ModalRun run;
        run.Start(about);
        const HWND dialog = run.WaitForDialog(WithControl(IDC_ABOUT_LINK));
        ASSERT_NE(nullptr, dialog);
        const HWND link = ::GetDlgItem(dialog, IDC_ABOUT_LINK);
        ASSERT_EQ(link, CAboutDlg::Link().Control());
        EXPECT_FALSE(CAboutDlg::Link().Visited()) << "a new opening shows the link unvisited";
        EXPECT_EQ(kBlue, CAboutDlg::Link().TextColour());

        // Shrunk to its text: a point right of it is no longer the link.
        RECT linkRect{}, labelRect{};
        ::GetWindowRect(link, &linkRect);
        ::GetWindowRect(::GetDlgItem(dialog, IDC_ABOUT_WEBSITE), &labelRect);
        EXPECT_LT(linkRect.right - linkRect.left, labelRect.right - labelRect.left);

        ::SendMessageW(dialog, WM_MOUSEMOVE, 0, At(ClientPointOf(dialog, link, 3, 0)));
        EXPECT_TRUE(CAboutDlg::Link().Hovering());
        EXPECT_EQ(kRed, CAboutDlg::Link().TextColour());
        // Over another control the hover stays; over the background it ends.
        ::SendMessageW(dialog, WM_MOUSEMOVE, 0,
                       At(ClientPointOf(dialog, ::GetDlgItem(dialog, IDC_ABOUT_WEBSITE), 3, 0)));
        EXPECT_TRUE(CAboutDlg::Link().Hovering());
        ::SendMessageW(dialog, WM_MOUSEMOVE, 0, At(POINT{2, 2}));
        EXPECT_FALSE(CAboutDlg::Link().Hovering());
        EXPECT_EQ(kBlue, CAboutDlg::Link().TextColour());

        // A click beside the text does nothing; on it, it opens the page.
        ::SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, At(ClientPointOf(dialog, link, -4, 0)));
        EXPECT_TRUE(g_opened.empty());
        ::SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, At(ClientPointOf(dialog, link, 3, 0)));
        ASSERT_EQ(1u, g_opened.size());
        EXPECT_EQ(std::wstring(IsJapaneseUILanguage() ? kJapaneseProductPage : kInternationalProductPage),
                  g_opened.front());
        EXPECT_EQ(kPurple, CAboutDlg::Link().TextColour());
        g_opened.clear();

        // Deactivation ends a hover, too.
        ::SendMessageW(dialog, WM_MOUSEMOVE, 0, At(ClientPointOf(dialog, link, 3, 0)));
        ::SendMessageW(dialog, WM_ACTIVATE, WA_INACTIVE, 0);
        EXPECT_FALSE(CAboutDlg::Link().Hovering());

        probe::Click(dialog, IDOK);
        EXPECT_EQ(IDOK, run.Join());
        EXPECT_EQ(nullptr, CAboutDlg::Link().Control()) << "closing detaches the link";
        EXPECT_EQ(nullptr, CHyperLink::Tooltip());
    }
}

TEST_F(AboutBox, TextsInTheUsersLanguageMirroredWhereItReadsRightToLeft)
{
    CAboutDlg about;
    ModalRun run;
    run.Start(about);
    const HWND dialog = run.WaitForDialog(WithControl(IDC_ABOUT_LINK));
    ASSERT_NE(nullptr, dialog);
    const char* expected = std::getenv("TDZ_EXPECTED_UI_LANGUAGE");
    const std::string language = expected ? expected : "en";
    if (language == "en") {
        EXPECT_EQ(L"About Tandrel", probe::Text(dialog));
        EXPECT_EQ(L"Corvane Tandrel Version 2.6", probe::ItemText(dialog, IDC_ABOUT_PRODUCT));
        EXPECT_EQ(L"Corvane Website:", probe::ItemText(dialog, IDC_ABOUT_WEBSITE));
        EXPECT_EQ(L"www.velmora.example/corvane", probe::ItemText(dialog, IDC_ABOUT_LINK));
    } else if (language == "ja") {
        EXPECT_EQ(std::wstring(kJapaneseProductPage), probe::ItemText(dialog, IDC_ABOUT_LINK));
    } else {
        EXPECT_NE(L"About Tandrel", probe::Text(dialog));
    }
    EXPECT_FALSE(probe::ItemText(dialog, IDC_ABOUT_NOTICE).empty());

    // Mirrored once: the dialog made under the mirrored process layout
    // already reads right to left, and must stay so.
    const bool rtl = language == "ar";
    EXPECT_EQ(rtl, (probe::ExStyle(dialog) & WS_EX_LAYOUTRTL) != 0);
    for (int id : {IDC_ABOUT_PRODUCT, IDC_ABOUT_NOTICE, IDC_ABOUT_WEBSITE, IDC_ABOUT_LINK}) {
        const DWORD style = probe::ExStyle(::GetDlgItem(dialog, id));
        EXPECT_EQ(rtl, (style & (WS_EX_LAYOUTRTL | WS_EX_RIGHT)) == (WS_EX_LAYOUTRTL | WS_EX_RIGHT)) << id;
    }
    probe::Click(dialog, IDOK);
    run.Join();

    // What the box starts from: under the mirrored process layout Wine
    // makes every dialog mirrored already, so toggling the bits, not
    // setting them, would turn this one back.
    CDialog plain(IDD_ABOUT);
    ModalRun plainRun;
    plainRun.Start(plain);
    const HWND unset = plainRun.WaitForDialog(WithControl(IDC_ABOUT_LINK));
    ASSERT_NE(nullptr, unset);
    EXPECT_EQ(rtl, (probe::ExStyle(unset) & WS_EX_LAYOUTRTL) != 0);
    probe::Click(unset, IDOK);
    plainRun.Join();
}

TEST(HyperLink, RefusesWhatItCannotDo)
{
    CHyperLink link;
    EXPECT_EQ(kLinkMissingArgument, link.Attach(nullptr, true));
    EXPECT_EQ(kLinkNotAttached, link.SetText(L"x"));
    EXPECT_EQ(kLinkNotAttached, link.SetAddress(L"x"));
    EXPECT_EQ(kLinkNotAttached, link.SetTooltipText(L"x"));
    EXPECT_EQ(kLinkNotAttached, link.SetUnderline(true));
    EXPECT_EQ(kLinkNotAttached, link.SizeToText());
    EXPECT_EQ(nullptr, link.SetLinkCursor(nullptr));
    EXPECT_EQ(nullptr, link.Detach());

    HWND parent = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 100, nullptr, nullptr, nullptr, nullptr);
    HWND control = ::CreateWindowExW(0, L"STATIC", L"text", WS_CHILD | WS_VISIBLE, 5, 5, 300, 20, parent, nullptr,
                                     nullptr, nullptr);
    ASSERT_EQ(0, link.Attach(control, true));
    EXPECT_EQ(kLinkAlreadyAttached, link.Attach(control, false));
    // An address longer than the field is cut to 255 characters.
    const std::wstring longAddress(400, L'a');
    EXPECT_EQ(0, link.SetAddress(longAddress.c_str()));
    EXPECT_EQ(255u, std::wstring(link.Address()).size());
    // The system's hand cursor is shared: the link never destroys it.
    const HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
    EXPECT_EQ(hand, link.SetLinkCursor(nullptr));
    ::DestroyWindow(control);  // detaches through its own destruction
    EXPECT_EQ(nullptr, link.Control());
    EXPECT_EQ(hand, ::LoadCursorW(nullptr, IDC_HAND));
    ICONINFO info{};
    EXPECT_TRUE(::GetIconInfo(hand, &info)) << "the shared hand cursor is still alive";
    if (info.hbmMask)
        ::DeleteObject(info.hbmMask);
    if (info.hbmColor)
        ::DeleteObject(info.hbmColor);
    ::DestroyWindow(parent);
}

}  // namespace
