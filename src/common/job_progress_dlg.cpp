#include "common/job_progress_dlg.h"

#include "common/display_name.h"
#include "common/resource_ids.h"
#include "container/job_constants.h"
#include "ui/text.h"

namespace {

constexpr DWORD kMirrorDialog = WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT;
constexpr DWORD kMirrorControl = WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT | WS_EX_RIGHT;
constexpr DWORD kRightToLeftControl = WS_EX_LAYOUTRTL | WS_EX_NOINHERITLAYOUT | WS_EX_RTLREADING;

}  // namespace

UINT PhaseTitleId(uint32_t phase)
{
    switch (phase) {
    case kPhasePrepareCompress: return IDS_PHASE_PREPARE_COMPRESS;
    case kPhasePrepareDecompress: return IDS_PHASE_PREPARE_DECOMPRESS;
    case kPhaseCompress: return IDS_PHASE_COMPRESS;
    case kPhaseDecompress: return IDS_PHASE_DECOMPRESS;
    case kPhaseEndCompress: return IDS_PHASE_END_COMPRESS;
    case kPhaseEndDecompress: return IDS_PHASE_END_DECOMPRESS;
    default: return IDS_PHASE_OTHER;
    }
}

bool IsCancelEnabledInPhase(uint32_t phase)
{
    return phase != kPhaseEndCompress && phase != kPhaseEndDecompress;
}

void CJobProgressDlg::DoDataExchange(CDataExchange& dx)
{
    dx.Control(IDCANCEL, cancelButton_);
    dx.Control(IDC_PROGRESS_BAR, progressBar_);
    dx.Text(IDC_PROGRESS_LABEL, label_);
}

void CJobProgressDlg::ResetDisplay()
{
    SetWindowText(LoadText(IDS_PHASE_OTHER));
    cancelButton_.SetWindowText(LoadText(IDS_BUTTON_CANCEL));
    label_.clear();
    progressBar_.SetPos(0);
    UpdateData(false);
}

void CJobProgressDlg::ShowPhase(uint32_t phase, int range, const wchar_t* fileName, bool rightToLeftControls)
{
    SetWindowText(LoadText(PhaseTitleId(phase)));
    cancelButton_.EnableWindow(IsCancelEnabledInPhase(phase));
    label_ = ShortenName(fileName);
    progressBar_.SetRange32(0, range);
    progressBar_.SetPos(0);
    if (rightToLeftControls)
        SetControlsRightToLeft();
    ShowWindow(SW_SHOW);
    UpdateData(false);
}

void CJobProgressDlg::ShowProgress(int position)
{
    progressBar_.SetPos(position);
    UpdateData(false);
}

void CJobProgressDlg::MirrorLayout()
{
    ToggleExStyle(kMirrorDialog);
    cancelButton_.ToggleExStyle(kMirrorControl);
    progressBar_.ToggleExStyle(kMirrorControl);
    CWnd label;
    label.Attach(GetDlgItem(IDC_PROGRESS_LABEL));
    label.ToggleExStyle(kMirrorControl);
    Invalidate();
}

void CJobProgressDlg::SetControlsRightToLeft()
{
    cancelButton_.SetExStyle(kRightToLeftControl);
    progressBar_.SetExStyle(kRightToLeftControl);
    CWnd label;
    label.Attach(GetDlgItem(IDC_PROGRESS_LABEL));
    label.SetExStyle(kRightToLeftControl);
    Invalidate();
}
