// The program's entry on Windows: the common controls, then the console
// until it is closed. No command line is taken.
#include "win32_api.h"

#include "wendrel_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;  // 8
    icc.dwICC = 0xFF;         // every standard class
    InitCommonControlsEx(&icc);

    CWendrelApp theApp;
    theApp.InitInstance();
    return 0;
}
