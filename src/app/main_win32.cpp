// The program's entry on Windows: where DLLs may come from, the common
// controls, then the console until it is closed. No command line is taken.
#include "win32_api.h"

#include "wendrel_app.h"

namespace {

// DLLs that system components load by bare name (the input method,
// theming, the find dialog) are then looked up in the system folder alone,
// never beside the program, which may sit in Downloads among anything.
// Looked up at run time: systems before Windows 8 without the update that
// adds it lack the function, and keep their default.
void SearchDllsInSystemFolderOnly()
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel)
        return;
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto set = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set)
        set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    SearchDllsInSystemFolderOnly();

    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;  // 8
    icc.dwICC = 0xFF;         // every standard class
    InitCommonControlsEx(&icc);

    CWendrelApp theApp;
    theApp.InitInstance();
    return 0;
}
