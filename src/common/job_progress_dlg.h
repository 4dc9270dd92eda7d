// What the three progress dialogs share: a file-name label (1000), a
// progress bar (1001), a Cancel button (2), the phase titles, and the
// right-to-left layout of the tray program.
#pragma once

#include <cstdint>
#include <string>

#include "ui/controls.h"
#include "ui/dialog.h"

// Title string of a job phase; "Processing..." for any phase not known.
UINT PhaseTitleId(uint32_t phase);
// The job can still be cancelled, except while a parked file is put back.
bool IsCancelEnabledInPhase(uint32_t phase);

class CJobProgressDlg : public CDialog {
public:
    using CDialog::CDialog;

protected:
    void DoDataExchange(CDataExchange& dx) override;

    // Title "Processing...", button "Cancel", empty label, position 0.
    void ResetDisplay();
    // Title and Cancel state of the phase, the (shortened) file name, range
    // 0 to range at position 0; then the dialog is shown. With
    // rightToLeftControls the controls are switched to right-to-left
    // reading before it is shown.
    void ShowPhase(uint32_t phase, int range, const wchar_t* fileName, bool rightToLeftControls);
    void ShowProgress(int position);
    // Mirrors the dialog and its three controls (exclusive or).
    void MirrorLayout();
    // Sets the three controls' extended style to right-to-left reading.
    void SetControlsRightToLeft();

    CButton cancelButton_;
    CProgressCtrl progressBar_;
    std::wstring label_;
};
