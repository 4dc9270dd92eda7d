// The shield dialog as the user meets it, and its owner-drawn buttons drawn
// into a bitmap where the pixels and the device context can be checked.
#include <gtest/gtest.h>

#include "common/program_style.h"
#include "common/resource_ids.h"
#include "modal_run.h"
#include "shield_dialog_ids.h"
#include "tray/shield_icon_dlg.h"
#include "tray/sx_button.h"
#include "ui/text.h"
#include "window_probe.h"

using probe::Narrow;

namespace {

class ShieldDialog : public ::testing::Test {
protected:
    void SetUp() override { SetProgramStyle(kTandrelStyle); }
};

INT_PTR AnswerWith(const std::function<void(HWND)>& user)
{
    CShieldIconDlg dialog;
    ModalRun run;
    run.Start(dialog);
    HWND hwnd = run.WaitForDialog(WithControl(IDC_SHIELD_TEXT));
    EXPECT_NE(hwnd, nullptr);
    if (hwnd)
        user(hwnd);
    return run.Join();
}

void PressEnter(HWND dialog)
{
    ::PostMessageW(dialog, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ::PostMessageW(dialog, WM_KEYUP, VK_RETURN, 0xC01C0001);
}

}  // namespace

TEST_F(ShieldDialog, AsksWithItsTextsAndOkIsTheDefault)
{
    EXPECT_EQ(AnswerWith([](HWND h) {
        EXPECT_EQ(probe::Text(h), LoadText(IDS_CAPTION));
        EXPECT_EQ(Narrow(probe::ItemText(h, IDC_SHIELD_TEXT)), Narrow(LoadText(IDS_ADMIN_RIGHTS_QUESTION)));
        EXPECT_EQ(Narrow(probe::ItemText(h, IDOK)), Narrow(LoadText(IDS_ADMIN_CONTINUE)));
        EXPECT_EQ(Narrow(probe::ItemText(h, IDCANCEL)), Narrow(LoadText(IDS_ADMIN_QUIT)));
        EXPECT_EQ(LOWORD(::SendMessageW(h, DM_GETDEFID, 0, 0)), IDOK);
        for (int id : {IDOK, IDCANCEL})
            EXPECT_EQ(probe::Style(::GetDlgItem(h, id)) & BS_TYPEMASK, static_cast<DWORD>(BS_OWNERDRAW)) << id;
        EXPECT_EQ(probe::Style(h) & WS_SYSMENU, 0u);
        PressEnter(h);
    }), IDOK);
    EXPECT_EQ(AnswerWith(probe::PressEscape), IDCANCEL);
    EXPECT_EQ(AnswerWith([](HWND h) { probe::Click(h, IDCANCEL); }), IDCANCEL);
}

TEST_F(ShieldDialog, IsMirroredOnceUnderARightToLeftLanguage)
{
    if (!UsesRightToLeftLayout())
        GTEST_SKIP() << "the interface language reads left to right";
    // As the program runs: the process default layout already mirrors every
    // new window. Then as a window that is not mirrored yet.
    for (DWORD processLayout : {static_cast<DWORD>(LAYOUT_RTL), 0ul}) {
        ::SetProcessDefaultLayout(processLayout);
        AnswerWith([](HWND h) {
            EXPECT_TRUE(probe::ExStyle(h) & WS_EX_LAYOUTRTL);
            for (int id : {IDOK, IDCANCEL, IDC_SHIELD_TEXT})
                EXPECT_TRUE(probe::ExStyle(::GetDlgItem(h, id)) & WS_EX_LAYOUTRTL) << id;
            probe::Click(h, IDCANCEL);
        });
    }
    ::SetProcessDefaultLayout(0);
}

TEST(MirrorOnce, AddsTheBitsOnlyToAWindowNotYetMirrored)
{
    const DWORD bits = WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT | WS_EX_RIGHT;
    struct Row {
        DWORD before;
        DWORD after;
    } rows[] = {
        {0, bits},
        {WS_EX_LAYOUTRTL, WS_EX_LAYOUTRTL},  // mirrored by the process default layout: left alone
    };
    for (const Row& row : rows) {
        HWND hwnd = ::CreateWindowExW(row.before, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                      nullptr);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(MirrorOnce(hwnd, bits) & bits, row.after);
        EXPECT_EQ(probe::ExStyle(hwnd) & bits, row.after);
        EXPECT_EQ(MirrorOnce(hwnd, bits) & bits, row.after) << "a second call changes nothing";
        ::DestroyWindow(hwnd);
    }
}

namespace {

// A button of the dialog's size on a window of this thread, drawn into a
// bitmap with a font, pen and brush of the test's own selected.
class ButtonCanvas : public ::testing::Test {
protected:
    static constexpr int kWidth = 375;
    static constexpr int kHeight = 55;

    void SetUp() override
    {
        parent_ = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 100, nullptr, nullptr, nullptr, nullptr);
        HWND hwnd = ::CreateWindowExW(0, L"BUTTON", L"Quit setting", WS_CHILD | BS_OWNERDRAW, 0, 0, kWidth, kHeight,
                                      parent_, reinterpret_cast<HMENU>(IDCANCEL), nullptr, nullptr);
        button_.Attach(hwnd);
        screen_ = ::GetDC(nullptr);
        dc_ = ::CreateCompatibleDC(screen_);
        bitmap_ = ::CreateCompatibleBitmap(screen_, kWidth, kHeight);
        oldBitmap_ = ::SelectObject(dc_, bitmap_);
        font_ = ::CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
        pen_ = ::CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
        brush_ = ::CreateSolidBrush(RGB(0, 255, 0));
        ::SelectObject(dc_, font_);
        ::SelectObject(dc_, pen_);
        ::SelectObject(dc_, brush_);
    }
    void TearDown() override
    {
        ::SelectObject(dc_, oldBitmap_);
        ::DeleteDC(dc_);
        ::ReleaseDC(nullptr, screen_);
        for (HGDIOBJ object : {static_cast<HGDIOBJ>(bitmap_), static_cast<HGDIOBJ>(font_),
                               static_cast<HGDIOBJ>(pen_), static_cast<HGDIOBJ>(brush_)})
            ::DeleteObject(object);
        ::DestroyWindow(parent_);
    }

    std::vector<COLORREF> Draw(UINT state, UINT action = ODA_DRAWENTIRE)
    {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = IDCANCEL;
        item.itemAction = action;
        item.itemState = state;
        item.hwndItem = button_.GetHwnd();
        item.hDC = dc_;
        item.rcItem = RECT{0, 0, kWidth, kHeight};
        button_.DrawItem(item);
        std::vector<COLORREF> pixels;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                pixels.push_back(::GetPixel(dc_, x, y));
        return pixels;
    }

    HWND parent_ = nullptr;
    CSXButton button_;
    HDC screen_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HFONT font_ = nullptr;
    HPEN pen_ = nullptr;
    HBRUSH brush_ = nullptr;
};

}  // namespace

TEST_F(ButtonCanvas, PlacesIconAndTextAsTheDialogAsksAndPutsTheDeviceContextBack)
{
    ASSERT_TRUE(button_.SetStopIcon(32, 32)) << "the system's stop icon";
    button_.SetTextPos(42, CSXButton::kCentred);
    button_.SetIconPos(6, CSXButton::kCentred);
    button_.SetDefault(true);
    const int oldMode = ::GetBkMode(dc_);
    Draw(ODS_FOCUS);
    EXPECT_EQ(button_.LastIconPos().x, 6);
    EXPECT_EQ(button_.LastIconPos().y, (kHeight - 32) / 2);
    EXPECT_EQ(button_.LastTextPos().x, 42);
    EXPECT_EQ(::GetCurrentObject(dc_, OBJ_FONT), font_);
    EXPECT_EQ(::GetCurrentObject(dc_, OBJ_PEN), pen_);
    EXPECT_EQ(::GetCurrentObject(dc_, OBJ_BRUSH), brush_);
    EXPECT_EQ(::GetBkMode(dc_), oldMode);
}

TEST_F(ButtonCanvas, PressingShiftsIconAndTextOnePixelRightAndDown)
{
    ASSERT_TRUE(button_.SetStopIcon(32, 32));
    button_.SetTextPos(42, CSXButton::kCentred);
    button_.SetIconPos(6, CSXButton::kCentred);
    std::vector<COLORREF> up = Draw(0);
    std::vector<COLORREF> down = Draw(ODS_SELECTED);
    // Inside the face (clear of the frame), the pressed picture is the
    // released one moved by (1, 1).
    int differing = 0;
    int compared = 0;
    for (int y = 4; y < kHeight - 4; ++y) {
        for (int x = 4; x < kWidth - 4; ++x) {
            ++compared;
            if (down[y * kWidth + x] != up[(y - 1) * kWidth + (x - 1)])
                ++differing;
        }
    }
    EXPECT_EQ(differing, 0) << "of " << compared;
    EXPECT_NE(up, down);
}
