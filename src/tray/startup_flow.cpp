#include "tray/startup_flow.h"

#include <string>

#include "app/startup_flags.h"
#include "base/platform_facts.h"
#include "common/message_box.h"
#include "common/resource_ids.h"
#include "tray/main_frame.h"
#include "tray/shield_icon_dlg.h"
#include "tray/startup_registration.h"
#include "ui/text.h"

namespace {

constexpr uint32_t kRegistrationFailure = kFailStartupRegistration;
const wchar_t kActivateSwitch[] = L"-startiwait %u";
const wchar_t kRemoveSwitch[] = L"-startuwait %u";
const wchar_t kRemoveAndExitSwitch[] = L"-startvwait %u";
constexpr UINT kQuestionNoDefault = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
constexpr UINT kQuestionYesDefault = MB_YESNO | MB_ICONQUESTION;

struct BoxCall {
    HWND owner;
    std::wstring text;
    UINT type;
};

int ShowBoxCall(void* context)
{
    auto* call = static_cast<BoxCall*>(context);
    return ShowMessage(call->owner, call->text, call->type);
}

int Show(StartupFlowHost& host, HWND owner, std::wstring text, UINT type)
{
    BoxCall call{owner, std::move(text), type};
    return host.RunModal(ShowBoxCall, &call);
}

int Show(StartupFlowHost& host, HWND owner, UINT textId, UINT type)
{
    return Show(host, owner, LoadText(textId), type);
}

int RunShieldDialog(StartupFlowHost& host)
{
    return host.RunModal([](void*) { return static_cast<int>(CShieldIconDlg().DoModal()); }, nullptr);
}

// A registration that failed in a command: told as a start-up failure, but
// the program stays as it was and keeps running.
void ShowRegistrationFailure(StartupFlowHost& host)
{
    Show(host, host.Window(),
         FormatText(L"%s (%04X)", LoadText(IDS_STARTUP_FAILED).c_str(), static_cast<unsigned>(kRegistrationFailure)),
         MB_OK | MB_ICONERROR);
}

// The elevated copy started to remove the registration. An overlay
// identifier that is already gone (the user declined the prompt when it
// was to be written) counts as removed, so "-startvwait" still ends the
// program the user chose to exit.
bool RemoveAsElevatedCopy(StartupFlowHost& host, bool registered)
{
    if (registered && !UnregisterFromStartup()) {
        host.ReportStartupFailure(kRegistrationFailure);
        return false;
    }
    host.SetRegisteredForStartup(0);
    if (!GetStartupFlags().exitAfterRemoval) {
        Show(host, host.Window(), IDS_STARTUP_REMOVED, MB_OK);
        return true;
    }
    Show(host, host.Window(), IDS_EXIT_REMOVED, MB_OK);
    host.Close();
    return true;
}

bool StartupCheckNt6(StartupFlowHost& host)
{
    const int registered = IsRegisteredForStartup();
    host.SetRegisteredForStartup(registered);
    const bool administrator = IsUserAdmin();
    const StartupFlags& flags = GetStartupFlags();

    if (administrator) {
        if (flags.relaunched && flags.addToStartup && !registered) {
            if (!RegisterForStartup()) {
                host.ReportStartupFailure(kRegistrationFailure);
                return false;
            }
            host.SetRegisteredForStartup(1);
            Show(host, host.Window(), IDS_STARTUP_ACTIVATED, MB_OK);
            return true;
        }
        if (flags.relaunched && !flags.addToStartup)
            return RemoveAsElevatedCopy(host, registered != 0);
        return true;
    }
    if (registered)
        return true;

    if (Show(host, host.Window(), IDS_FIRST_START_QUESTION, kQuestionNoDefault) != IDYES) {
        Show(host, host.Window(), IDS_INDICATOR_AFTER_RESTART, MB_OK | MB_ICONINFORMATION);
        return true;
    }
    if (RunShieldDialog(host) != IDOK) {
        Show(host, nullptr, IDS_INDICATOR_AFTER_RESTART, MB_OK | MB_ICONINFORMATION);
        return true;
    }
    // The elevated copy announces success: it is started only once this
    // half is really done.
    if (!RegisterForStartup()) {
        host.ReportStartupFailure(kRegistrationFailure);
        return false;
    }
    Show(host, nullptr, IDS_STOPPED_NOTICE_ACTIVATED, MB_OK | MB_ICONINFORMATION);
    host.StartElevatedCopy(kActivateSwitch);
    host.Close();
    return false;
}

bool StartupCheckOlder(StartupFlowHost& host)
{
    const int registered = IsRegisteredForStartup();
    host.SetRegisteredForStartup(registered);
    if (registered)
        return true;
    if (Show(host, host.Window(), IDS_FIRST_START_QUESTION, kQuestionNoDefault) == IDYES) {
        if (!RegisterForStartup()) {
            host.ReportStartupFailure(kRegistrationFailure);
            return false;
        }
        host.SetRegisteredForStartup(1);
        Show(host, host.Window(), IDS_STARTUP_ACTIVATED, MB_OK);
    }
    Show(host, host.Window(), IDS_INDICATOR_AFTER_RESTART, MB_OK | MB_ICONINFORMATION);
    return true;
}

void StartupCommandNt6(StartupFlowHost& host)
{
    const StartupFlags& flags = GetStartupFlags();
    if (flags.startedAsAdministrator) {
        Show(host, nullptr, IDS_NOT_AS_ADMIN, MB_OK | MB_ICONERROR);
        return;
    }
    const bool registered = host.RegisteredForStartup() == 1;

    if (!IsUserAdmin()) {
        if (!registered && Show(host, host.Window(), IDS_ACTIVATE_QUESTION, kQuestionNoDefault) != IDYES)
            return;
        if (RunShieldDialog(host) != IDOK)
            return;
        // The elevated copy would report the whole change as done: it is
        // started only when this user's half has been changed.
        if (!(registered ? UnregisterFromStartup() : RegisterForStartup())) {
            ShowRegistrationFailure(host);
            return;
        }
        Show(host, nullptr, registered ? IDS_STOPPED_NOTICE : IDS_STOPPED_NOTICE_ACTIVATED,
             MB_OK | MB_ICONINFORMATION);
        host.StartElevatedCopy(registered ? kRemoveSwitch : kActivateSwitch);
        host.Close();
        return;
    }

    // An administrator here was started by a standard user's instance.
    if (flags.addToStartup) {
        if (registered) {
            Show(host, nullptr, IDS_STARTUP_ACTIVATED_ADMIN, MB_OK | MB_ICONINFORMATION);
        } else if (Show(host, host.Window(), IDS_ACTIVATE_QUESTION, kQuestionNoDefault) == IDYES) {
            if (RegisterForStartup())
                host.SetRegisteredForStartup(1);
            else
                ShowRegistrationFailure(host);
        }
        return;
    }
    if (!registered) {
        Show(host, nullptr, IDS_STARTUP_REMOVED_ADMIN, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (UnregisterFromStartup())
        host.SetRegisteredForStartup(0);
    else
        ShowRegistrationFailure(host);
}

void StartupCommandOlder(StartupFlowHost& host)
{
    if (host.RegisteredForStartup() == 1) {
        if (!UnregisterFromStartup()) {
            ShowRegistrationFailure(host);
            return;
        }
        host.SetRegisteredForStartup(0);
        Show(host, host.Window(), IDS_STARTUP_REMOVED, MB_OK);
        return;
    }
    if (Show(host, host.Window(), IDS_ACTIVATE_QUESTION, kQuestionNoDefault) != IDYES)
        return;
    if (!RegisterForStartup()) {
        ShowRegistrationFailure(host);
        return;
    }
    host.SetRegisteredForStartup(1);
    Show(host, host.Window(), IDS_STARTUP_ACTIVATED, MB_OK);
}

class FrameHost : public StartupFlowHost {
public:
    explicit FrameHost(CMainFrame& frame) : frame_(frame) {}
    HWND Window() const override { return frame_.GetHwnd(); }
    int RegisteredForStartup() const override { return frame_.RegisteredForStartup(); }
    void SetRegisteredForStartup(int registered) override { frame_.SetRegisteredForStartup(registered); }
    void ReportStartupFailure(uint32_t code) override { frame_.ReportStartupFailure(code); }
    void RetireProgressDialog() override { frame_.RetireProgressDialog(); }
    int RunModal(int (*box)(void* context), void* context) override { return frame_.RunModal(box, context); }
    void StartElevatedCopy(const wchar_t* switchFormat) override { ::StartElevatedCopy(switchFormat); }
    void Close() override { ::PostMessageW(frame_.GetHwnd(), WM_CLOSE, 0, 0); }

private:
    CMainFrame& frame_;
};

}  // namespace

bool RunStartupCheck(StartupFlowHost& host)
{
    return IsNt6Family() ? StartupCheckNt6(host) : StartupCheckOlder(host);
}

void RunStartupCommand(StartupFlowHost& host)
{
    if (IsNt6Family())
        StartupCommandNt6(host);
    else
        StartupCommandOlder(host);
}

void RunExitFlow(StartupFlowHost& host)
{
    const bool nt6 = IsNt6Family();
    bool removed = false;
    if (host.RegisteredForStartup() == 1 && (!nt6 || !IsUserAdmin()) &&
        Show(host, host.Window(), IDS_EXIT_QUESTION, kQuestionYesDefault) == IDYES) {
        if (nt6) {
            if (RunShieldDialog(host) != IDOK)
                return;
            if (UnregisterFromStartup()) {
                // The elevated copy removes the other half, says goodbye
                // and ends.
                Show(host, nullptr, IDS_STOPPED_NOTICE, MB_OK | MB_ICONINFORMATION);
                host.StartElevatedCopy(kRemoveAndExitSwitch);
                host.Close();
                return;
            }
            ShowRegistrationFailure(host);
        } else if (UnregisterFromStartup()) {
            host.SetRegisteredForStartup(0);
            removed = true;
        } else {
            ShowRegistrationFailure(host);
        }
    }
    host.RetireProgressDialog();
    Show(host, host.Window(), removed ? IDS_EXIT_REMOVED : IDS_EXIT_DONE, MB_OK);
    host.Close();
}

bool RunStartupCheck(CMainFrame& frame)
{
    FrameHost host(frame);
    return RunStartupCheck(static_cast<StartupFlowHost&>(host));
}

void RunStartupCommand(CMainFrame& frame)
{
    FrameHost host(frame);
    RunStartupCommand(static_cast<StartupFlowHost&>(host));
}

void RunExitFlow(CMainFrame& frame)
{
    FrameHost host(frame);
    RunExitFlow(static_cast<StartupFlowHost&>(host));
}
