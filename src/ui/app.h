// CWinApp: the one application object of a program. RunApplication calls
// InitInstance; when it returns true the thread's message loop runs until
// WM_QUIT, otherwise the program ends at once (a program built on one modal
// dialog does all its work inside InitInstance).
#pragma once

#include <windows.h>

#include <string>

#include "ui/command.h"
#include "ui/wnd.h"

class CWinApp : public CCommandTarget {
public:
    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    static CWinApp* GetApp();

    virtual bool InitInstance() { return false; }
    // The exit status of the process.
    virtual int ExitInstance() { return exitCode_; }

    CWnd* GetMainWnd() const { return mainWnd_; }
    void SetMainWnd(CWnd* wnd) { mainWnd_ = wnd; }

    // The command line after the program's name and the blanks behind it.
    std::wstring GetCommandLineText() const { return CommandLineTail(::GetCommandLineW()); }

    // ID_APP_EXIT closes the main window.
    bool OnCommand(UINT id) override;

    // The text after the program name (quoted or not) of a command line.
    static std::wstring CommandLineTail(const wchar_t* commandLine);

    int Run();

protected:
    // Keyboard handling of modeless dialogs before dispatch.
    virtual bool PreTranslateMessage(MSG& msg);

private:
    CWnd* mainWnd_ = nullptr;
    int exitCode_ = 0;
};

int RunApplication(CWinApp& app);
