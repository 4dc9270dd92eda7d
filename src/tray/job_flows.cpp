// The frame's side of the jobs: automatic compression switched from the
// menu, whole-drive batches, safe removal, the replace question and the end
// of each job.
#include <process.h>

#include <new>

#include "base/platform_facts.h"
#include "base/ui_language.h"
#include "common/confirm_replace_dlg.h"
#include "common/display_name.h"
#include "common/job_failure.h"
#include "common/message_box.h"
#include "common/processing_dlg.h"
#include "common/resource_ids.h"
#include "container/folder_walk.h"
#include "container/job_protocol.h"
#include "drives/drive_list.h"
#include "drives/drive_watchers.h"
#include "drives/safe_removal.h"
#include "tray/main_frame.h"
#include "ui/text.h"

void CMainFrame::OnToggleAutoDrive(int index)
{
    wchar_t name[kDriveNameUnits] = {};
    GetDriveNameByMenuIndex(index, name);
    int isTarget = 0;
    if (!GetDriveState(name, &isTarget, nullptr) || !isTarget)
        return;
    ToggleAutoCompress(name);
    wchar_t names[kWatcherNamesUnits] = {};
    if (UpdateWatchers(GetHwnd(), workerThreadId_, names) == 1)
        ShowDrivesAddedBalloon(names);
    UpdateTrayTip();
}

void CMainFrame::OnCompressDrive(int index)
{
    if (driveJobBusy_)
        return;
    driveJobBusy_ = 1;
    if (Ask(LoadText(IDS_WHOLE_DRIVE_QUESTION), MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        driveJobBusy_ = 0;
        return;
    }
    const std::wstring failed = LoadText(IDS_COMPRESS_FAILED);
    auto* record = new (std::nothrow) DriveJobRecord{};
    if (!record) {
        Ask(FormatText(L"%s (%08X)", failed.c_str(), 0x10001u), MB_OK | MB_ICONERROR);
        driveJobBusy_ = 0;
        return;
    }
    record->notifyWindow = GetHwnd();
    record->batchCancelEvent = batchCancelEvent_.Get();
    record->workerThreadId = workerThreadId_;
    GetDriveNameByMenuIndex(index, record->driveName);
    if (record->driveName[0] == L'\0') {
        delete record;  // the flow gives up here: the record is never handed on
        Ask(failed, MB_OK | MB_ICONERROR);
        driveJobBusy_ = 0;
        return;
    }
    ::ResetEvent(batchCancelEvent_.Get());
    const uintptr_t walk = _beginthreadex(nullptr, 0, WalkThread, record, 0, nullptr);
    if (walk == 0) {
        delete record;
        Ask(FormatText(L"%s (%08X)", failed.c_str(), 0x10002u), MB_OK | MB_ICONERROR);
        driveJobBusy_ = 0;
        return;
    }
    ::CloseHandle(reinterpret_cast<HANDLE>(walk));
}

void CMainFrame::OnBatchDone(DriveJobRecord* record, LPARAM completed)
{
    if (record && completed == kBatchComplete) {
        const std::wstring drive = IsRightToLeftUILanguage() ? std::wstring(L"(") + record->driveName[0] + L")"
                                                             : std::wstring(L"(") + record->driveName + L")";
        ShowBalloon(FormatText(LoadText(IDS_DRIVE_COMPRESSED).c_str(), drive.c_str()).c_str());
    }
    driveJobBusy_ = 0;
    delete record;
}

void CMainFrame::OnRemoveDrive(int index)
{
    wchar_t name[kDriveNameUnits] = {};
    GetDriveNameByMenuIndex(index, name);
    int isTarget = 0;
    int autoCompress = 0;
    if (!GetDriveState(name, &isTarget, &autoCompress))
        return;
    wchar_t names[kWatcherNamesUnits] = {};
    if (isTarget && autoCompress) {
        // The watcher holds a directory handle open on the drive: it must be
        // gone before the device is asked to leave.
        ToggleAutoCompress(name);
        if (UpdateWatchers(GetHwnd(), workerThreadId_, names) == 1)
            ShowDrivesAddedBalloon(names);
        UpdateTrayTip();
    }
    if (!isTarget)
        return;
    const int ejected = EjectDrive(name);
    if (UpdateWatchers(GetHwnd(), workerThreadId_, names) == 1)
        ShowDrivesAddedBalloon(names);
    UpdateTrayTip();
    if (IsNt6Family()) {
        lastRemovalResult_ = ejected;
        struct Box {
            std::wstring text;
        } box{LoadText(ejected ? IDS_REMOVE_SUCCEEDED : IDS_REMOVE_FAILED)};
        RunModal([](void* context) {
            return ShowMessage(nullptr, static_cast<Box*>(context)->text, MB_ICONINFORMATION);
        }, &box);
    }
}

void CMainFrame::OnReplaceQuery(WPARAM operation, uint32_t* answer)
{
    const std::wstring name = ShortenName(currentFileName_);
    const UINT format = operation == kReplaceModeCompress ? IDS_REPLACE_CONTAINER : IDS_REPLACE_FILE;
    struct Box {
        std::wstring text;
        bool single;
        int result;
    } box{FormatText(LoadText(format).c_str(), name.c_str()), activeJobs_ < 2, 0};
    RunModal([](void* context) {
        auto* b = static_cast<Box*>(context);
        CConfirmReplaceDlg dialog;
        dialog.SetMessage(b->text);
        dialog.SetSingleFile(b->single);
        dialog.DoModal();
        b->result = dialog.GetResult();
        return b->result;
    }, &box);
    // The answer first: the worker reads it as soon as the event is set.
    if (answer)
        *answer = static_cast<uint32_t>(box.result);
    ::SetEvent(workerEvent_.Get());
}

void CMainFrame::OnJobQueued()
{
    if (progressDialog_ && !progressRetired_)
        progressDialog_->OnJobQueued(activeJobs_);
    else
        ++activeJobs_;
}

void CMainFrame::OnJobPhase(WPARAM phase, LPARAM range)
{
    if (progressDialog_ && !progressRetired_)
        progressDialog_->OnJobPhase(static_cast<uint32_t>(phase), static_cast<int>(range), currentFileName_);
}

void CMainFrame::OnJobProgress(LPARAM position)
{
    if (progressDialog_ && !progressRetired_)
        progressDialog_->OnJobProgress(static_cast<int>(position));
}

void CMainFrame::OnJobDone(WPARAM recordParam, LPARAM resultParam)
{
    auto* record = reinterpret_cast<JobRecord*>(recordParam);
    const auto result = static_cast<ResultCode>(resultParam);
    if (progressDialog_ && !progressRetired_)
        progressDialog_->OnJobDone(activeJobs_);
    else if (activeJobs_ > 0)
        --activeJobs_;
    ++jobsDone_;
    if (record && IsReportedJobResult(result, JobReporter::Frame)) {
        struct Box {
            HWND owner;
            JobRecord* record;
            ResultCode result;
        } box{GetHwnd(), record, result};
        RunModal([](void* context) {
            auto* b = static_cast<Box*>(context);
            ReportJobFailure(b->owner, *b->record, b->result, JobReporter::Frame);
            return 0;
        }, &box);
    }
    delete record;
}
