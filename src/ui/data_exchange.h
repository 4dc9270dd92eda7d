// Data exchange between a dialog's members and its controls: a control
// member is bound to its control by id; a text member is copied into the
// control (saving false) or out of it (saving true).
#pragma once

#include <windows.h>

#include <string>

#include "ui/wnd.h"

class CDataExchange {
public:
    CDataExchange(HWND dialog, bool saving) : dialog_(dialog), saving_(saving) {}

    bool IsSaving() const { return saving_; }

    // False when the dialog has no control with that id.
    bool Control(int id, CWnd& control);
    bool Text(int id, std::wstring& value);

    // True while every exchange so far found its control.
    bool Succeeded() const { return ok_; }

private:
    HWND dialog_;
    bool saving_;
    bool ok_ = true;
};
