#pragma once

#include "dialog.h"

// The About box: icon, name and version, two lines of legal text, OK.
class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(wsys::IWindowSystem& ws) : CDialog(ws, res::IDD_ABOUTBOX) {}
};
