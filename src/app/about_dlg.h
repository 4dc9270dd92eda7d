// CAboutDlg: the tray program's about box: product and version, the
// maker's notice, and a link to the maker's web page.
#pragma once

#include <windows.h>

#include "app/hyperlink.h"
#include "ui/dialog.h"

// The two pages the link leads to.
extern const wchar_t kJapaneseProductPage[];
extern const wchar_t kInternationalProductPage[];

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(HWND owner = nullptr);

    // The one link every opening of the box attaches again.
    static CHyperLink& Link();

protected:
    BOOL OnInitDialog() override;
};
