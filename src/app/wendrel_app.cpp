#include "wendrel_app.h"

#include <clocale>

#include "window_system.h"
#include "wendrel_dlg.h"

bool CWendrelApp::InitInstance()
{
    // The board's text travels in the code page of the user's locale.
    // QApplication sets the locale on Unix too; this holds without it.
    std::setlocale(LC_ALL, "");

    const std::unique_ptr<wsys::IWindowSystem> windowSystem = wsys::CreatePlatformWindowSystem();
    {
        CWendrelDlg dlg(*windowSystem);
        dlg.DoModal();
    }  // the board closed and its threads joined here
    return false;
}
