/* The yardstick of the Windows idle rows: a bare window with a 50 ms timer
 * (what the console's poll cycle costs at the least), under Wine.
 *
 *   win32_idle_window [READY_FILE]    READY_FILE as a Unix path */
#include <windows.h>

#include <stdio.h>

static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_TIMER) return 0;
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int main(int argc, char** argv)
{
    WNDCLASSW wc = {0};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = L"IdleWindow";
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowW(L"IdleWindow", L"Idle window", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              10, 10, 400, 300, NULL, NULL, wc.hInstance, NULL);
    if (!hwnd) return 1;
    SetTimer(hwnd, 1, 50, NULL);
    if (argc > 1) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "Z:%s", argv[1]);
        FILE* f = fopen(path, "w");
        if (f) fclose(f);
    }
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
