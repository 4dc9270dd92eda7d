// CConfirmReplaceDlg: asks whether an existing file may be replaced. The
// caller sets the question and whether only Yes and No are offered, runs
// it modally and reads GetResult(): kAnswerYes, kAnswerYesToAll, kAnswerNo
// or kAnswerCancel.
#pragma once

#include <string>

#include "ui/controls.h"
#include "ui/dialog.h"

class CConfirmReplaceDlg : public CDialog {
public:
    CConfirmReplaceDlg();

    void SetMessage(const std::wstring& message) { message_ = message; }
    // Hides "Yes to All" and "Cancel"; they keep their places.
    void SetSingleFile(bool singleFile) { singleFile_ = singleFile ? 1 : 0; }
    int GetResult() const { return result_; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id) override;
    void OnCancel() override;
    void DoDataExchange(CDataExchange& dx) override;

private:
    // No until the dialog opens: a question that could not be shown
    // replaces nothing.
    int result_ = 2;
    int singleFile_ = 0;
    CButton yesButton_;
    CButton noButton_;
    CButton cancelButton_;
    CButton yesToAllButton_;
    std::wstring message_;
};
