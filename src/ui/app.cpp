#include "ui/app.h"

#include "ui/dialog.h"
#include "ui/ui_ids.h"

namespace {

CWinApp* g_app = nullptr;

}  // namespace

CWinApp::CWinApp()
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

CWinApp* CWinApp::GetApp()
{
    return g_app;
}

bool CWinApp::OnCommand(UINT id)
{
    if (id != ID_APP_EXIT)
        return false;
    if (mainWnd_ && mainWnd_->GetHwnd())
        mainWnd_->SendMessage(WM_CLOSE);
    return true;
}

std::wstring CWinApp::CommandLineTail(const wchar_t* commandLine)
{
    if (!commandLine)
        return std::wstring();
    const wchar_t* p = commandLine;
    // The program name ends at the closing quote when it is quoted, else at
    // the first blank, as the start-up code of every Windows program reads it.
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"')
            ++p;
        if (*p == L'"')
            ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return std::wstring(p);
}

bool CWinApp::PreTranslateMessage(MSG& msg)
{
    return CDialog::PreTranslateModeless(msg);
}

int CWinApp::Run()
{
    MSG msg;
    for (;;) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            exitCode_ = static_cast<int>(msg.wParam);
            break;
        }
        if (got == -1)
            break;
        if (PreTranslateMessage(msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitInstance();
}

int RunApplication(CWinApp& app)
{
    if (!app.InitInstance())
        return app.ExitInstance();
    return app.Run();
}
