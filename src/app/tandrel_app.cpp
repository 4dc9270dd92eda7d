#include "app/tandrel_app.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

#include "app/about_dlg.h"
#include "app/app_resource_ids.h"
#include "app/command_line.h"
#include "app/component_installer.h"
#include "app/install_paths.h"
#include "app/startup_flags.h"
#include "app/startup_messages.h"
#include "base/container_name.h"
#include "base/platform_facts.h"
#include "base/ui_language.h"
#include "common/message_box.h"
#include "common/parked_copies.h"
#include "common/processing_modal_dlg.h"
#include "common/program_style.h"
#include "common/resource_ids.h"
#include "container/job_constants.h"
#include "container/worker_thread.h"
#include "tray/main_frame.h"
#include "tray/startup_registration.h"
#include "ui/controls.h"
#include "ui/text.h"

namespace {

constexpr wchar_t kInstanceMutexName[] = L"CorvaneTandrel1.00";
constexpr DWORD kPredecessorWaitMs = 10000;

ProgramStarter g_startProgram = ::ShellExecuteW;

// Runs the single request's progress dialog; -1 when it cannot be shown.
INT_PTR RunSingleJob(const wchar_t* path, uint32_t operation)
{
    ResetJobCounters();
    CProcessingModalDlg::SetWorker(WorkerThread);
    CProcessingModalDlg dialog;
    dialog.SetPath(path);
    dialog.SetOperation(operation);
    return dialog.DoModal();
}

void ShowDialogFailure()
{
    ShowFrameworkError(LoadText(IDS_STARTUP_FAILED).c_str());
}

}  // namespace

CTandrelApp::CTandrelApp() : tail_(GetCommandLineText()) {}

CTandrelApp::CTandrelApp(std::wstring tail) : tail_(std::move(tail)) {}

CTandrelApp::~CTandrelApp() = default;

int CTandrelApp::ExitInstance()
{
    EndInstance();
    return CWinApp::ExitInstance();
}

void CTandrelApp::EndInstance()
{
    // The window is gone by now (its destruction ended the message loop).
    frame_.reset();
    SetMainWnd(nullptr);
    if (mutex_.Valid()) {
        ::ReleaseMutex(mutex_.Get());
        mutex_.Reset();
    }
}

bool CTandrelApp::StartInstance()
{
    EnableCommonControls();
    SetProgramStyle(kTandrelStyle);
    if (!IsSupportedOs()) {
        ShowMessage(nullptr, LoadText(IDS_WRONG_OS), MB_ICONWARNING);
        return false;
    }
    return IsNt6Family() ? StartNt6() : StartNt5();
}

bool CTandrelApp::StartNt6()
{
    StartupFlags& flags = GetStartupFlags();
    flags.relaunched = flags.addToStartup = flags.exitAfterRemoval = false;
    bool predecessorGiven = false;

    const WaitSwitch waitSwitch = ReadWaitSwitch(tail_.c_str());
    if (waitSwitch == WaitSwitch::kNone && !tail_.empty()) {
        HandleFileCommand();
        return false;
    }
    if (waitSwitch != WaitSwitch::kNone) {
        flags.relaunched = true;
        flags.addToStartup = waitSwitch == WaitSwitch::kInstall;
        flags.exitAfterRemoval = waitSwitch == WaitSwitch::kRemoval;
        const DWORD predecessor = ReadPredecessorId(tail_.c_str());
        if (predecessor != 0) {
            predecessorGiven = true;
            // Waits for the instance itself (the mutex it holds), not for an
            // id that may name another process by now.
            if (!WaitForPredecessor(predecessor, kInstanceMutexName, kPredecessorWaitMs))
                return false;
        }
    }
    flags.startedAsAdministrator = IsUserAdmin() && !predecessorGiven;

    if (!TakeInstanceMutex())
        return false;
    wchar_t folder[MAX_PATH], installed[MAX_PATH];
    if (!InstallationFolder(folder) || !InstalledExecutablePath(installed)) {
        // A folder path that does not fit cannot be installed to.
        ShowStartupFailure(kStepInstallFolder);
        return false;
    }
    if (!IsInstalledCopyOrHandOver(installed, folder, true))
        return false;
    return CreateMainFrame();
}

bool CTandrelApp::StartNt5()
{
    if (!tail_.empty()) {
        HandleFileCommand();
        return false;
    }
    if (!IsMemberOfAdministrators()) {
        ShowMessage(nullptr, LoadText(IDS_ADMIN_REQUIRED), MB_ICONWARNING);
        return false;
    }
    if (!TakeInstanceMutex())
        return false;
    wchar_t installed[MAX_PATH];
    if (!InstalledExecutablePath(installed)) {
        ShowStartupFailure(kStepInstalledPath);
        return false;
    }
    if (!IsInstalledCopyOrHandOver(installed, installed, false))
        return false;
    return CreateMainFrame();
}

bool CTandrelApp::TakeInstanceMutex()
{
    mutex_.Reset(::CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    if (!mutex_.Valid())
        return false;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        mutex_.Reset();
        return false;
    }
    return true;
}

void SetProgramStarter(ProgramStarter starter) { g_startProgram = starter ? starter : ::ShellExecuteW; }

bool CTandrelApp::IsInstalledCopyOrHandOver(const wchar_t* installed, const wchar_t* destination, bool passTail)
{
    wchar_t running[MAX_PATH];
    if (!RunningExecutablePath(running)) {
        ShowStartupFailure(kStepModulePath);
        return false;
    }
    // Compared by file identity: the same file under a short name or another
    // spelling is the installed copy, and must not install and start itself
    // again and again.
    if (IsSameFile(running, installed))
        return true;
    if (!InstallComponents(running, destination))
        return false;
    ::ReleaseMutex(mutex_.Get());
    mutex_.Reset();

    wchar_t desktop[MAX_PATH] = {};
    const bool haveDesktop = ::SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, FALSE) != FALSE;
    const wchar_t* parameters = passTail && !tail_.empty() ? tail_.c_str() : nullptr;
    const auto started = reinterpret_cast<INT_PTR>(g_startProgram(
        nullptr, L"open", installed, parameters, haveDesktop ? desktop : nullptr, SW_SHOWNORMAL));
    // The installed copy may be missing (its copy failed and none was there
    // before): say so instead of ending without a word.
    if (started <= 32)
        ShowStartupFailure(kStepStartInstalled);
    return false;
}

bool CTandrelApp::CreateMainFrame()
{
    // Files a killed or failed job of an earlier run left parked go back
    // before this run's first job.
    RestoreParkedCopiesAndReport(nullptr);
    if (IsRightToLeftUILanguage())
        ::SetProcessDefaultLayout(LAYOUT_RTL);
    frame_ = std::make_unique<CMainFrame>();
    if (!frame_->CreateFrame()) {
        frame_.reset();
        return false;
    }
    SetMainWnd(frame_.get());
    frame_->ShowWindow(SW_HIDE);
    ::UpdateWindow(frame_->GetHwnd());
    return true;
}

void CTandrelApp::HandleFileCommand()
{
    const FileCommand command = ReadFileCommand(tail_.c_str());
    if (command == FileCommand::kNone)
        return;
    wchar_t path[MAX_PATH];
    if (!ReadCommandPath(tail_.c_str(), path)) {
        const std::wstring tooLong = LoadText(IDS_NAME_TOO_LONG);
        const std::wstring given = tail_.substr(3);
        ShowMessage(nullptr, FormatText(L"%s\n\n%s", given.c_str(), tooLong.c_str()), MB_OK);
        return;
    }
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    switch (command) {
    case FileCommand::kCompress:
        CompressOneFile(path);
        break;
    case FileCommand::kDecompress:
        DecompressOneFile(path, false);
        break;
    case FileCommand::kDecompressAndOpen:
        DecompressOneFile(path, true);
        break;
    case FileCommand::kNone:
        break;
    }
}

void CTandrelApp::CompressOneFile(const wchar_t* path)
{
    if (HasContainerExtension(path))
        return;
    if (RunSingleJob(path, kOperationCompress) == -1)
        ShowDialogFailure();
}

void CTandrelApp::DecompressOneFile(const wchar_t* path, bool openAfterwards)
{
    wchar_t container[MAX_PATH];
    if (IsNt6Family()) {
        LongPathOf(path, container);
    } else {
        const size_t length = wcsnlen(path, MAX_PATH - 1);
        std::wmemcpy(container, path, length);
        container[length] = L'\0';
    }
    if (!HasContainerExtension(container))
        return;
    wchar_t restored[MAX_PATH];
    std::wmemcpy(restored, container, MAX_PATH);
    if (wchar_t* dot = std::wcsrchr(restored, L'.'))
        *dot = L'\0';

    const INT_PTR result = RunSingleJob(container, kOperationDecompress);
    if (result == -1) {
        ShowDialogFailure();
        return;
    }
    if (result == IDOK && openAfterwards)
        ::ShellExecuteW(nullptr, nullptr, restored, nullptr, nullptr, SW_SHOWNORMAL);
}

bool CTandrelApp::OnCommand(UINT id)
{
    if (id != ID_TRAY_ABOUT && id != ID_APP_ABOUT)
        return CWinApp::OnCommand(id);
    CAboutDlg about(frame_ ? frame_->GetHwnd() : nullptr);
    about.DoModal();
    return true;
}
