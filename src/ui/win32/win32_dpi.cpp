#include "win32_dpi.h"

namespace win32 {

namespace {

// Windows 10 (1607 and later) functions, null where the system lacks them.
struct DpiApi {
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    int(WINAPI* getSystemMetricsForDpi)(int, UINT) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* setDialogDpiChangeBehavior)(HWND, int, int) = nullptr;

    DpiApi()
    {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        if (!user32)
            return;
        Load(user32, "GetDpiForWindow", getDpiForWindow);
        Load(user32, "GetSystemMetricsForDpi", getSystemMetricsForDpi);
        Load(user32, "AdjustWindowRectExForDpi", adjustWindowRectExForDpi);
        Load(user32, "SetDialogDpiChangeBehavior", setDialogDpiChangeBehavior);
    }

    template <typename Fn>
    static void Load(HMODULE module, const char* name, Fn& fn)
    {
        fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
};

const DpiApi& Api()
{
    static const DpiApi api;
    return api;
}

}  // namespace

UINT SystemDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

UINT WindowDpi(HWND hwnd)
{
    if (hwnd && Api().getDpiForWindow) {
        if (const UINT dpi = Api().getDpiForWindow(hwnd))
            return dpi;
    }
    return SystemDpi();
}

int MetricForDpi(int index, UINT dpi)
{
    if (Api().getSystemMetricsForDpi)
        return Api().getSystemMetricsForDpi(index, dpi);
    // Metrics of sizes scale with the screen.
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

RECT WindowRectForDpi(RECT client, DWORD style, DWORD exStyle, UINT dpi)
{
    RECT r = client;
    if (!Api().adjustWindowRectExForDpi ||
        !Api().adjustWindowRectExForDpi(&r, style, FALSE, exStyle, dpi)) {
        r = client;
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
    }
    return r;
}

void TakeOverDpiChanges(HWND dialog)
{
    // DDC_DISABLE_ALL, Windows 10 1803 and later.
    if (Api().setDialogDpiChangeBehavior)
        Api().setDialogDpiChangeBehavior(dialog, 0x0001, 0x0001);
}

}  // namespace win32
