// CMainFrame: the tray program's one top-level window, never shown. It owns
// the tray icon and its menu, the worker thread of every automatic and
// whole-drive job, the modeless progress dialog, the 15-second drive poll
// and the reaction to device changes.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "base/win_handle.h"
#include "container/job_constants.h"
#include "ui/frame.h"

class CProcessingDlg;
struct DriveJobRecord;

// Start-up failures of window creation, shown as "Start-up has failed." with
// the code in four hexadecimal digits.
enum StartupFailure : uint32_t {
    kFailRegisterShellExtension = 0x1000,
    kFailRegisterFileType = 0x1001,
    kFailCancelEvent = 0x1002,
    kFailWorkerEvent = 0x1003,
    kFailBatchCancelEvent = 0x1004,
    kFailWorkerRecord = 0x1005,
    kFailWorkerThread = 0x1006,
    kFailStartupRegistration = 0x1007,
    kFailProgressDialog = 0x1008,
};

// Menu resource of the tray menu and its fixed commands.
constexpr UINT IDR_TRAY_MENU = 130;
constexpr UINT ID_TRAY_EXIT = 32771;
constexpr UINT ID_TRAY_ABOUT = 32772;
constexpr UINT ID_TRAY_STARTUP = 32799;
constexpr UINT WM_TRAY_NOTIFY = WM_APP + 100;
constexpr UINT kTrayIconId = 1;
constexpr UINT_PTR kPollTimerId = 2;
constexpr UINT kPollIntervalMs = 15000;

class CChildView : public CWnd {};

class CMainFrame : public CFrameWnd {
public:
    CMainFrame();
    ~CMainFrame() override;

    // Creates the hidden frame; OnCreate runs inside. False when the window
    // could not be created (the program then ends).
    bool CreateFrame();

    // The start-up registration flows of the frame use these.
    int RegisteredForStartup() const { return registeredForStartup_; }
    void SetRegisteredForStartup(int registered) { registeredForStartup_ = registered; }
    // "Start-up has failed." with the code, then a posted WM_CLOSE.
    void ReportStartupFailure(uint32_t code);
    // Hides the progress dialog for good: jobs still running report to the
    // frame, which frees their records without it.
    void RetireProgressDialog();
    // True while a modal box of the frame is open; the tray menu waits.
    bool InModalLoop() const { return modalDepth_ > 0; }
    // Runs a modal box of the frame, counting it, so tray clicks and closes
    // from outside wait for it to end.
    int RunModal(int (*box)(void* context), void* context);
    // A message box owned by the frame, counted as RunModal counts.
    int Ask(const std::wstring& text, UINT type);

    // For tests: whether OnCreate has finished, the jobs not yet done, the
    // worker's thread id.
    bool Initialized() const { return initialized_ != 0; }
    int ActiveJobs() const { return activeJobs_; }
    DWORD WorkerThreadId() const { return workerThreadId_; }
    bool DriveJobBusy() const { return driveJobBusy_ != 0; }
    const std::wstring& LastBalloon() const { return lastBalloon_; }
    int LastRemovalResult() const { return lastRemovalResult_; }
    unsigned JobsDone() const { return jobsDone_; }
    unsigned TrayIconAdds() const { return trayIconAdds_; }
    const NOTIFYICONDATAW& TrayIcon() const { return trayIcon_; }
    // The tray menu as it opens: texts, drive items and check marks set;
    // loaded receives the menu to destroy.
    HMENU BuildTrayMenu(HMENU* loaded);

    void UpdateTrayTip();
    void ShowDrivesAddedBalloon(const wchar_t* names);
    void RescanDrives();

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    bool RouteCommand(UINT id) override;
    bool RouteCommandUpdate(CCommandUI& ui) override;
    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(CCommandUI& ui) override;

private:
    int OnCreate();
    void OnDestroy();
    void OnEndSession(bool ending);
    void OnPollTimer();
    void OnTrayNotify(UINT iconId, UINT mouseMessage);
    void OnExit();
    void OnStartupCommand();
    void OnToggleAutoDrive(int index);
    void OnCompressDrive(int index);
    void OnRemoveDrive(int index);
    void OnJobQueued();
    void OnJobDone(WPARAM record, LPARAM result);
    void OnJobPhase(WPARAM phase, LPARAM range);
    void OnJobProgress(LPARAM position);
    void OnBatchDone(DriveJobRecord* record, LPARAM completed);
    void OnReplaceQuery(WPARAM operation, uint32_t* answer);
    bool StartWorker();
    void StopWorker();
    void AddTrayIcon();
    void ShowBalloon(const wchar_t* text);
    void ShowTrayMenu();

    wchar_t currentFileName_[kPathUnits];
    CChildView view_;
    UINT_PTR pollTimerId_ = 0;
    NOTIFYICONDATAW trayIcon_;
    int registeredForStartup_ = 0;
    CProcessingDlg* progressDialog_ = nullptr;
    int activeJobs_ = 0;
    ThreadHandle workerThread_;
    DWORD workerThreadId_ = 0;
    EventHandle workerEvent_;
    EventHandle batchCancelEvent_;
    EventHandle cancelEvent_;
    int driveJobBusy_ = 0;
    int initialized_ = 0;
    UINT taskbarCreatedMessage_ = 0;
    int modalDepth_ = 0;
    bool closePending_ = false;
    bool trayIconAdded_ = false;
    bool creating_ = false;
    bool driveListReady_ = false;
    bool progressRetired_ = false;
    bool trackingMenu_ = false;
    std::wstring lastBalloon_;
    int lastRemovalResult_ = -1;
    unsigned jobsDone_ = 0;
    unsigned trayIconAdds_ = 0;
};
