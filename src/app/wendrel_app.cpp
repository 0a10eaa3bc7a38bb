#include "wendrel_app.h"

#include <clocale>

#include "qt_window_system.h"
#include "wendrel_dlg.h"

bool CWendrelApp::InitInstance()
{
    // The board's text travels in the code page of the user's locale.
    // QApplication sets the locale on Unix too; this holds without it.
    std::setlocale(LC_ALL, "");

    CQtWindowSystem windowSystem;
    {
        CWendrelDlg dlg(windowSystem);
        dlg.DoModal();
    }  // the board closed and its threads joined here
    return false;
}
