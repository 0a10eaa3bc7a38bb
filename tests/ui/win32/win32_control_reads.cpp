// What the contract's driver reads off the dialog manager's controls.
#include "win32_control_reads.h"

std::u16string ToolTipText(HWND dlg, HWND ctrl)
{
    for (HWND tip = nullptr; (tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr));) {
        if (GetWindow(tip, GW_OWNER) != dlg)
            continue;
        TTTOOLINFOW ti{};
        ti.cbSize = TTTOOLINFOW_V2_SIZE;
        ti.hwnd = dlg;
        ti.uId = reinterpret_cast<UINT_PTR>(ctrl);
        if (!SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti)))
            return {};
        wchar_t text[1024] = {};
        ti.lpszText = text;
        SendMessageW(tip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&ti));
        return reinterpret_cast<const char16_t*>(text);
    }
    return {};
}

int FontPointsOf(HWND h)
{
    LOGFONTW lf{};
    HFONT font = h ? reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)) : nullptr;
    if (!font || !GetObjectW(font, sizeof lf, &lf))
        return 0;
    HDC dc = GetDC(h);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(h, dc);
    return MulDiv(lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight, 72, dpi);
}

contract::RowsInSight RowsInSightOf(HWND box)
{
    contract::RowsInSight shown;
    HDC dc = GetDC(box);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(box, dc);
    RECT fmt{};
    SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fmt));
    const int lines = static_cast<int>(SendMessageW(box, EM_GETLINECOUNT, 0, 0));
    for (int i = 0; i < lines; ++i) {
        const LRESULT at = SendMessageW(box, EM_LINEINDEX, i, 0);
        const LRESULT pos = SendMessageW(box, EM_POSFROMCHAR, at, 0);
        const int y = static_cast<short>(HIWORD(pos));
        if (pos == -1 || y < fmt.top || y + tm.tmHeight > fmt.bottom)
            continue;
        if (shown.first < 0)
            shown.first = i;
        shown.last = i;
    }
    return shown;
}

std::u16string ClipboardText()
{
    std::u16string text;
    if (!OpenClipboard(nullptr))
        return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* p = static_cast<const char16_t*>(GlobalLock(data))) {
            text = p;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}
