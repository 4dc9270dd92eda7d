// The window layer as the dialogs and the frame use it: modal and modeless
// dialogs with data exchange and the keyboard, command routing and the
// update step before a popup opens.
#include <gtest/gtest.h>

#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/frame.h"
#include "ui/ui_ids.h"
#include "app_loop.h"
#include "modal_run.h"
#include "window_probe.h"

namespace {

constexpr UINT kTestDialog = 200;
constexpr int kEdit = 300;

class CTextDialog : public CDialog {
public:
    CTextDialog() : CDialog(kTestDialog) {}
    std::wstring text;
    bool destroyed = false;

protected:
    void DoDataExchange(CDataExchange& dx) override { dx.Text(kEdit, text); }
    void PostNcDestroy() override { destroyed = true; }
};

}  // namespace

TEST(Dialog, ModalOkSavesTheControlsAndEscapeCancelsWithoutSaving)
{
    CTextDialog dialog;
    dialog.text = L"before";
    ModalRun run;
    run.Start(dialog);
    HWND hwnd = run.WaitForDialog();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(probe::ItemText(hwnd, kEdit), L"before");  // pushed by OnInitDialog
    ::SendMessageW(::GetDlgItem(hwnd, kEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed"));
    probe::Click(hwnd, IDOK);
    EXPECT_EQ(run.Join(), IDOK);
    EXPECT_EQ(dialog.text, L"typed");
    EXPECT_TRUE(dialog.destroyed);

    CTextDialog second;
    second.text = L"kept";
    ModalRun run2;
    run2.Start(second);
    hwnd = run2.WaitForDialog();
    ASSERT_NE(hwnd, nullptr);
    ::SendMessageW(::GetDlgItem(hwnd, kEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"discarded"));
    probe::PressEscape(hwnd);
    EXPECT_EQ(run2.Join(), IDCANCEL);
    EXPECT_EQ(second.text, L"kept");
}

TEST(Dialog, MissingTemplateGivesMinusOne)
{
    CDialog missing(4321);
    EXPECT_EQ(missing.DoModal(), -1);
}

TEST(Dialog, ModelessDialogGetsItsKeyboardThroughTheMessageLoop)
{
    auto* dialog = new CTextDialog;  // freed below, after its window is gone
    ASSERT_TRUE(dialog->Create(nullptr));
    HWND hwnd = dialog->GetHwnd();
    ::ShowWindow(hwnd, SW_SHOW);
    ::SetFocus(::GetDlgItem(hwnd, kEdit));

    ::PostMessageW(::GetDlgItem(hwnd, kEdit), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    // The loop of CWinApp::Run: modeless dialogs see the keyboard first.
    ASSERT_TRUE(probe::WaitUntil([&] {
        DispatchQueuedAsTheProgramDoes();
        return dialog->destroyed;
    }, 20000));
    EXPECT_FALSE(::IsWindow(hwnd));
    delete dialog;
}

namespace {

class CRecordingView : public CWnd {
public:
    UINT handled = 0;
    bool OnCommand(UINT id) override
    {
        if (id != 100)
            return false;
        handled = id;
        return true;
    }
};

class CTestFrame : public CFrameWnd {
public:
    UINT handled = 0;
    bool OnCommand(UINT id) override
    {
        if (id < 100 || id > 101)
            return false;
        handled = id;
        return true;
    }
    bool OnUpdateCommand(CCommandUI& ui) override
    {
        if (ui.GetId() == 100) {
            ui.Enable(false);
            return true;
        }
        if (ui.GetId() == 101) {
            ui.SetCheck(true);
            return true;
        }
        return false;
    }
};

class CTestApp : public CWinApp {
public:
    UINT handled = 0;
    bool OnCommand(UINT id) override
    {
        if (id == 102) {
            handled = id;
            return true;
        }
        return CWinApp::OnCommand(id);
    }
};

}  // namespace

TEST(Frame, CommandsGoToTheViewThenTheFrameThenTheApplication)
{
    CTestApp app;
    CTestFrame frame;
    CRecordingView view;
    ASSERT_TRUE(frame.Create(L"TdzTestFrame", L"frame"));
    frame.SetView(&view);
    app.SetMainWnd(&frame);
    EXPECT_FALSE(::IsWindowVisible(frame.GetHwnd()));

    frame.SendMessage(WM_COMMAND, 100);
    frame.SendMessage(WM_COMMAND, 101);
    frame.SendMessage(WM_COMMAND, 102);
    EXPECT_EQ(view.handled, 100u);
    EXPECT_EQ(frame.handled, 101u);
    EXPECT_EQ(app.handled, 102u);

    // The update step runs when a popup is about to open.
    HMENU popup = ::CreatePopupMenu();
    ::AppendMenuW(popup, MF_STRING, 100, L"greyed");
    ::AppendMenuW(popup, MF_STRING, 101, L"checked");
    ::AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(popup, MF_STRING, 102, L"left alone");
    frame.SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
    EXPECT_TRUE(::GetMenuState(popup, 100, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(::GetMenuState(popup, 101, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(::GetMenuState(popup, 101, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_EQ(::GetMenuState(popup, 102, MF_BYCOMMAND) & (MF_GRAYED | MF_CHECKED), 0u);
    ::DestroyMenu(popup);

    // ID_APP_EXIT closes the main window, which ends the message loop.
    frame.SendMessage(WM_COMMAND, ID_APP_EXIT);
    EXPECT_FALSE(frame.IsWindow());
    EXPECT_EQ(app.GetMainWnd(), nullptr);
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}
