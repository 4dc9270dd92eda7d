#include "tray/main_frame.h"

#include <commctrl.h>
#include <dbt.h>
#include <process.h>

#include <cwchar>
#include <new>

#include "app/shell_registration.h"
#include "base/platform_facts.h"
#include "base/ui_language.h"
#include "common/message_box.h"
#include "common/processing_dlg.h"
#include "common/resource_ids.h"
#include "container/job_protocol.h"
#include "container/parking.h"
#include "container/worker_thread.h"
#include "drives/drive_detection.h"
#include "drives/drive_list.h"
#include "drives/drive_menu.h"
#include "drives/drive_watchers.h"
#include "tray/startup_flow.h"
#include "tray/tray_text.h"
#include "ui/text.h"
#include "ui/ui_ids.h"

namespace {

constexpr DWORD kWorkerStopMs = 30000;
// While the worker may still be asking a replace question whose message the
// closing frame will never answer, the reply event is set again this often.
constexpr DWORD kWorkerReplySpinMs = 100;

HICON LoadTrayIcon()
{
    return static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
}

void CopyText(wchar_t* out, size_t units, const std::wstring& text)
{
    const std::wstring cut = CutText(text, units - 1);
    std::wmemcpy(out, cut.c_str(), cut.size() + 1);
}

}  // namespace

CMainFrame::CMainFrame() : currentFileName_{}, trayIcon_{} {}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::CreateFrame()
{
    taskbarCreatedMessage_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    const std::wstring title = LoadText(IDS_APP_TITLE_FRAME);
    creating_ = true;
    const bool created = Create(L"TandrelFrame", title.empty() ? L"Tandrel" : title.c_str(), WS_OVERLAPPEDWINDOW);
    creating_ = false;
    if (!created || !IsWindow())
        return false;
    // A close asked for while the window was being made comes now, when the
    // frame can take it.
    if (closePending_) {
        closePending_ = false;
        PostMessage(WM_CLOSE);
    }
    return true;
}

void CMainFrame::PreCreateWindow(CREATESTRUCTW& cs)
{
    CFrameWnd::PreCreateWindow(cs);
    cs.dwExStyle &= ~WS_EX_CLIENTEDGE;
}

LRESULT CMainFrame::WndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == taskbarCreatedMessage_ && msg != 0) {
        // A restarted file manager has lost the icon: the program's only way in.
        AddTrayIcon();
        UpdateTrayTip();
        return 0;
    }
    switch (msg) {
    case WM_CREATE:
        return OnCreate();
    case WM_CLOSE:
        if (creating_ || modalDepth_ > 0) {
            closePending_ = true;
            return 0;
        }
        break;
    case WM_DESTROY:
        CFrameWnd::WndProc(msg, wp, lp);
        OnDestroy();
        return 0;
    case WM_ENDSESSION:
        OnEndSession(wp != FALSE);
        return 0;
    case WM_TIMER:
        if (wp == kPollTimerId)
            OnPollTimer();
        break;
    case WM_DEVICECHANGE:
        if (wp == DBT_DEVNODES_CHANGED)
            RescanDrives();
        return TRUE;
    case WM_TRAY_NOTIFY:
        OnTrayNotify(static_cast<UINT>(wp), static_cast<UINT>(lp));
        return 0;
    case WM_JOB_QUEUED:
        OnJobQueued();
        return 0;
    case WM_JOB_DONE:
        OnJobDone(wp, lp);
        return 0;
    case WM_JOB_PHASE:
        OnJobPhase(wp, lp);
        return 0;
    case WM_JOB_PROGRESS:
        OnJobProgress(lp);
        return 0;
    case WM_BATCH_DONE:
        OnBatchDone(reinterpret_cast<DriveJobRecord*>(wp), lp);
        return 0;
    case WM_REPLACE_QUERY:
        OnReplaceQuery(wp, reinterpret_cast<uint32_t*>(lp));
        return 0;
    }
    return CFrameWnd::WndProc(msg, wp, lp);
}

int CMainFrame::OnCreate()
{
    view_.SetWindowText(L"");
    if (!view_.CreateEx(0, L"TandrelView", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, GetHwnd(),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(AFX_IDW_PANE_FIRST))))
        return -1;
    SetView(&view_);
    InitDriveList();
    driveListReady_ = true;

    AddTrayIcon();

    if (!RegisterShellExtension()) {
        ReportStartupFailure(kFailRegisterShellExtension);
        return 0;
    }
    if (!RegisterFileType()) {
        ReportStartupFailure(kFailRegisterFileType);
        return 0;
    }
    cancelEvent_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!cancelEvent_.Valid()) {
        ReportStartupFailure(kFailCancelEvent);
        return 0;
    }
    auto* dialog = new (std::nothrow) CProcessingDlg;
    if (!dialog || !dialog->Create(GetHwnd())) {
        delete dialog;  // a dialog whose window was never made does not delete itself
        ReportStartupFailure(kFailProgressDialog);
        return 0;
    }
    progressDialog_ = dialog;
    progressDialog_->SetCancelEvent(cancelEvent_.Get());
    if (!StartWorker())
        return 0;
    ::SetWindowPos(GetHwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    if (!RunStartupCheck(*this))
        return 0;
    RefreshDriveList();
    wchar_t names[kWatcherNamesUnits] = {};
    if (UpdateWatchers(GetHwnd(), workerThreadId_, names) == 1)
        ShowDrivesAddedBalloon(names);
    UpdateTrayTip();
    pollTimerId_ = ::SetTimer(GetHwnd(), kPollTimerId, kPollIntervalMs, nullptr);
    initialized_ = 1;
    return 0;
}

bool CMainFrame::StartWorker()
{
    workerEvent_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!workerEvent_.Valid()) {
        ReportStartupFailure(kFailWorkerEvent);
        return false;
    }
    batchCancelEvent_.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!batchCancelEvent_.Valid()) {
        ReportStartupFailure(kFailBatchCancelEvent);
        return false;
    }
    auto* record = new (std::nothrow) WorkerStartRecord{};
    if (!record) {
        ReportStartupFailure(kFailWorkerRecord);
        return false;
    }
    record->notifyWindow = GetHwnd();
    record->fileName = currentFileName_;
    record->cancelEvent = cancelEvent_.Get();
    record->batchCancelEvent = batchCancelEvent_.Get();
    record->readyEvent = workerEvent_.Get();
    ::ResetEvent(workerEvent_.Get());
    ::ResetEvent(batchCancelEvent_.Get());
    ResetJobCounters();
    unsigned threadId = 0;
    const uintptr_t thread = _beginthreadex(nullptr, 0, WorkerThread, record, 0, &threadId);
    if (thread == 0) {
        delete record;
        ReportStartupFailure(kFailWorkerThread);
        return false;
    }
    workerThread_.Reset(reinterpret_cast<HANDLE>(thread));
    workerThreadId_ = threadId;
    ::WaitForSingleObject(workerEvent_.Get(), INFINITE);
    return true;
}

void CMainFrame::ReportStartupFailure(uint32_t code)
{
    const std::wstring text = FormatText(L"%s (%04X)", LoadText(IDS_STARTUP_FAILED).c_str(), code);
    struct Box {
        HWND owner;
        const std::wstring* text;
    } box{GetHwnd(), &text};
    RunModal([](void* context) {
        auto* b = static_cast<Box*>(context);
        return ShowMessage(b->owner, *b->text, MB_OK | MB_ICONERROR);
    }, &box);
    PostMessage(WM_CLOSE);
}

int CMainFrame::RunModal(int (*box)(void* context), void* context)
{
    ++modalDepth_;
    const int result = box(context);
    --modalDepth_;
    if (modalDepth_ == 0 && closePending_ && !creating_) {
        closePending_ = false;
        PostMessage(WM_CLOSE);
    }
    return result;
}

int CMainFrame::Ask(const std::wstring& text, UINT type)
{
    struct Box {
        HWND owner;
        const std::wstring* text;
        UINT type;
    } box{GetHwnd(), &text, type};
    return RunModal([](void* context) {
        auto* b = static_cast<Box*>(context);
        return ShowMessage(b->owner, *b->text, b->type);
    }, &box);
}

void CMainFrame::StopWorker()
{
    if (!workerThread_.Valid())
        return;
    // The running job and whatever is queued end as cancelled; a replace
    // question whose message this closing window will never answer gets its
    // reply event (without an answer, which means Cancel) until the worker
    // has gone.
    if (cancelEvent_.Valid())
        ::SetEvent(cancelEvent_.Get());
    ::PostThreadMessageW(workerThreadId_, WM_QUIT, 0, 0);
    DWORD waited = 0;
    bool ended = false;
    // Past the time limit only while a file is parked in the temporary
    // folder: ending then could leave the user's only copy there.
    while (!ended && (waited < kWorkerStopMs || ParkedCopyInFlight())) {
        if (workerEvent_.Valid())
            ::SetEvent(workerEvent_.Get());
        ended = ::WaitForSingleObject(workerThread_.Get(), kWorkerReplySpinMs) == WAIT_OBJECT_0;
        waited += kWorkerReplySpinMs;
    }
    if (!ended) {
        // Never free what a live thread still uses: its events stay open
        // for the rest of the process.
        (void)workerEvent_.Detach();
        (void)batchCancelEvent_.Detach();
        (void)cancelEvent_.Detach();
        if (progressDialog_)
            progressDialog_->SetCancelEvent(nullptr);
    }
    workerThread_.Reset();
}

void CMainFrame::OnDestroy()
{
    if (pollTimerId_)
        ::KillTimer(GetHwnd(), pollTimerId_);
    if (driveListReady_) {
        FreeDriveList();
        driveListReady_ = false;
    }
    StopWorker();
    workerEvent_.Reset();
    batchCancelEvent_.Reset();
    if (progressDialog_)
        progressDialog_->SetCancelEvent(nullptr);
    cancelEvent_.Reset();
    UnregisterFileType();
    if (registeredForStartup_ == 0)
        UnregisterShellExtension();
    if (trayIconAdded_) {
        ::Shell_NotifyIconW(NIM_DELETE, &trayIcon_);
        trayIconAdded_ = false;
    }
    if (trayIcon_.hIcon) {
        ::DestroyIcon(trayIcon_.hIcon);
        trayIcon_.hIcon = nullptr;
    }
}

void CMainFrame::OnEndSession(bool ending)
{
    if (!ending)
        return;
    UnregisterFileType();
    if (registeredForStartup_ == 0)
        UnregisterShellExtension();
}

void CMainFrame::AddTrayIcon()
{
    if (!trayIcon_.hIcon) {
        trayIcon_.hIcon = LoadTrayIcon();
    }
    trayIcon_.cbSize = NOTIFYICONDATAW_V2_SIZE;
    trayIcon_.hWnd = GetHwnd();
    trayIcon_.uID = kTrayIconId;
    trayIcon_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIcon_.uCallbackMessage = WM_TRAY_NOTIFY;
    wchar_t autoDrives[kWatcherNamesUnits] = {};
    if (driveListReady_)
        ListAutoCompressDrives(autoDrives, kWatcherNamesUnits);
    CopyText(trayIcon_.szTip, kTrayTipUnits + 1, TrayTipText(autoDrives, IsRightToLeftUILanguage(), IsUserAdmin()));
    trayIconAdded_ = ::Shell_NotifyIconW(NIM_ADD, &trayIcon_) != FALSE || trayIconAdded_;
    ++trayIconAdds_;
}

void CMainFrame::UpdateTrayTip()
{
    wchar_t autoDrives[kWatcherNamesUnits] = {};
    ListAutoCompressDrives(autoDrives, kWatcherNamesUnits);
    CopyText(trayIcon_.szTip, kTrayTipUnits + 1, TrayTipText(autoDrives, IsRightToLeftUILanguage(), IsUserAdmin()));
    trayIcon_.uFlags &= ~NIF_INFO;
    ::Shell_NotifyIconW(NIM_MODIFY, &trayIcon_);
}

void CMainFrame::ShowBalloon(const wchar_t* text)
{
    trayIcon_.uFlags |= NIF_INFO;
    trayIcon_.dwInfoFlags = NIIF_INFO;
    trayIcon_.uTimeout = 10000;
    CopyText(trayIcon_.szInfoTitle, kBalloonTitleUnits + 1, LoadText(IDS_CAPTION));
    CopyText(trayIcon_.szInfo, kBalloonTextUnits + 1, text);
    ::Shell_NotifyIconW(NIM_MODIFY, &trayIcon_);
    lastBalloon_ = trayIcon_.szInfo;
}

void CMainFrame::ShowDrivesAddedBalloon(const wchar_t* names)
{
    if (!names || !*names)
        return;
    const std::wstring joined = JoinDriveNames(names, IsRightToLeftUILanguage());
    ShowBalloon(FormatText(LoadText(IDS_DRIVE_ADDED).c_str(), joined.c_str()).c_str());
}

void CMainFrame::RescanDrives()
{
    RefreshDriveList();
    wchar_t names[kWatcherNamesUnits] = {};
    if (UpdateWatchers(GetHwnd(), workerThreadId_, names) == 1)
        ShowDrivesAddedBalloon(names);
    UpdateTrayTip();
}

void CMainFrame::OnPollTimer()
{
    ::KillTimer(GetHwnd(), kPollTimerId);
    RescanDrives();
    pollTimerId_ = ::SetTimer(GetHwnd(), kPollTimerId, kPollIntervalMs, nullptr);
}

HMENU CMainFrame::BuildTrayMenu(HMENU* loaded)
{
    *loaded = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    HMENU popup = *loaded ? ::GetSubMenu(*loaded, 0) : nullptr;
    if (!popup)
        return nullptr;
    const UINT submenuTexts[3] = {IDS_MENU_AUTO_DRIVE, IDS_MENU_COMPRESS_DRIVE, IDS_MENU_SAFELY_REMOVE};
    const UINT firstIds[3] = {kAutoCompressFirstId, kCompressDriveFirstId, kRemoveDriveFirstId};
    const bool anyTarget = CountTargetDrives() > 0;
    for (int position = 0; position < 3; ++position) {
        HMENU sub = ::GetSubMenu(popup, position);
        const std::wstring text = LoadText(submenuTexts[position]);
        ::ModifyMenuW(popup, position, MF_BYPOSITION | MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(sub),
                      text.c_str());
        if (!anyTarget) {
            ::EnableMenuItem(popup, position, MF_BYPOSITION | MF_GRAYED);
            continue;
        }
        ::DeleteMenu(sub, 0, MF_BYPOSITION);
        AppendDriveMenuItems(sub, firstIds[position], position == 0 ? 1 : 0);
    }
    const struct {
        UINT id;
        UINT text;
    } items[] = {{ID_TRAY_STARTUP, IDS_MENU_STARTUP}, {ID_TRAY_ABOUT, IDS_MENU_ABOUT}, {ID_TRAY_EXIT, IDS_MENU_EXIT}};
    for (const auto& item : items) {
        const std::wstring text = LoadText(item.text);
        ::ModifyMenuW(popup, item.id, MF_BYCOMMAND | MF_STRING, item.id, text.c_str());
    }
    ::CheckMenuItem(popup, ID_TRAY_STARTUP, MF_BYCOMMAND | (registeredForStartup_ ? MF_CHECKED : MF_UNCHECKED));
    return popup;
}

void CMainFrame::OnTrayNotify(UINT iconId, UINT mouseMessage)
{
    // A menu under an open box of the frame could close the frame beneath
    // the box's own message loop.
    if (iconId != kTrayIconId || !initialized_ || modalDepth_ > 0 || trackingMenu_)
        return;
    if (mouseMessage != WM_LBUTTONUP && mouseMessage != WM_RBUTTONUP)
        return;
    HMENU loaded = nullptr;
    HMENU popup = BuildTrayMenu(&loaded);
    MenuHandle owner(loaded);
    if (!popup)
        return;
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ::SetForegroundWindow(GetHwnd());
    trackingMenu_ = true;
    ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, GetHwnd(), nullptr);
    trackingMenu_ = false;
    // Lets the menu close when the user clicks elsewhere.
    PostMessage(WM_NULL);
}

bool CMainFrame::RouteCommand(UINT id)
{
    if (view_.OnCommand(id))
        return true;
    if (id >= kAutoCompressFirstId && id < kAutoCompressFirstId + kDriveMenuRange) {
        OnToggleAutoDrive(static_cast<int>(id - kAutoCompressFirstId));
        return true;
    }
    if (id >= kCompressDriveFirstId && id < kCompressDriveFirstId + kDriveMenuRange) {
        OnCompressDrive(static_cast<int>(id - kCompressDriveFirstId));
        return true;
    }
    if (id >= kRemoveDriveFirstId && id < kRemoveDriveFirstId + kDriveMenuRange) {
        OnRemoveDrive(static_cast<int>(id - kRemoveDriveFirstId));
        return true;
    }
    return CFrameWnd::RouteCommand(id);
}

bool CMainFrame::RouteCommandUpdate(CCommandUI& ui)
{
    const UINT id = ui.GetId();
    if (id >= kAutoCompressFirstId && id < kAutoCompressFirstId + kDriveMenuRange) {
        wchar_t name[kDriveNameUnits] = {};
        GetDriveNameByMenuIndex(static_cast<int>(id - kAutoCompressFirstId), name);
        int autoCompress = 0;
        GetDriveState(name, nullptr, &autoCompress);
        ui.Enable(true);
        ui.SetCheck(autoCompress != 0);
        return true;
    }
    if (id >= kCompressDriveFirstId && id < kCompressDriveFirstId + kDriveMenuRange) {
        ui.Enable(driveJobBusy_ == 0);
        ui.SetCheck(false);
        return true;
    }
    if (id >= kRemoveDriveFirstId && id < kRemoveDriveFirstId + kDriveMenuRange) {
        ui.Enable(true);
        ui.SetCheck(false);
        return true;
    }
    return CFrameWnd::RouteCommandUpdate(ui);
}

bool CMainFrame::OnCommand(UINT id)
{
    switch (id) {
    case ID_TRAY_EXIT:
        OnExit();
        return true;
    case ID_TRAY_STARTUP:
        OnStartupCommand();
        return true;
    default:
        return false;
    }
}

bool CMainFrame::OnUpdateCommand(CCommandUI& ui)
{
    switch (ui.GetId()) {
    case ID_TRAY_EXIT:
        ui.Enable(driveJobBusy_ == 0);
        return true;
    case ID_TRAY_STARTUP:
        ui.Enable(true);
        ui.SetCheck(registeredForStartup_ != 0);
        return true;
    default:
        return false;
    }
}

void CMainFrame::OnExit()
{
    // The command may arrive by other routes than the greyed menu item.
    if (driveJobBusy_)
        return;
    RunExitFlow(*this);
}

void CMainFrame::OnStartupCommand() { RunStartupCommand(*this); }

void CMainFrame::RetireProgressDialog()
{
    // Hidden for good rather than destroyed: the worker may still be using
    // its cancel event, and job messages still arrive and are freed here.
    progressRetired_ = true;
    if (progressDialog_ && progressDialog_->IsWindow())
        progressDialog_->ShowWindow(SW_HIDE);
}
