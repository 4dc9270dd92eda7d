// CDecompressionDlg: Decompression's progress dialog. It is the single
// request's modal dialog for a decompression, with a taskbar button, the
// program icon, and the about item when the window has a menu.
#pragma once

#include "common/processing_modal_dlg.h"

class CDecompressionDlg : public CProcessingModalDlg {
public:
    CDecompressionDlg();

protected:
    INT_PTR DialogProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void PrepareWindow() override;

private:
    bool OnSysCommand(WPARAM command);
    bool OnPaint();

    HICON icon_;
};
