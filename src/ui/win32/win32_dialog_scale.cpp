#include "win32_dialog_scale.h"

#include "win32_dpi.h"

CWin32DialogScale::~CWin32DialogScale() { Stop(); }

void CWin32DialogScale::Start(HWND dialog, const res::DialogTemplate& tmpl)
{
    Stop();
    m_hDialog = dialog;
    m_pTmpl = &tmpl;
    m_hDialogFont = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    m_lf = {};
    if (m_hDialogFont)
        GetObjectW(m_hDialogFont, sizeof m_lf, &m_lf);
    // The dialog manager makes the font for the screen as a whole, or, on
    // a Windows that knows per-monitor scales, for the window's monitor.
    const UINT windowDpi = win32::WindowDpi(dialog);
    const bool forWindow = m_lf.lfHeight == -MulDiv(tmpl.pointSize, static_cast<int>(windowDpi), 72);
    m_nDpi = forWindow ? windowDpi : win32::SystemDpi();
    m_base = win32::MeasureBaseUnits(Font());

    m_items.clear();
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const win32::TemplateItem& item : win32::TemplateItems(tmpl)) {
        if (!child)
            break;
        m_items.emplace_back(child, item);
        child = GetWindow(child, GW_HWNDNEXT);
    }
}

void CWin32DialogScale::Stop()
{
    // The controls are gone with the dialog, so nothing draws with it.
    if (m_hOwnFont)
        DeleteObject(m_hOwnFont);
    m_hOwnFont = nullptr;
    m_hDialogFont = nullptr;
    m_hDialog = nullptr;
    m_items.clear();
}

HFONT CWin32DialogScale::Font() const { return m_hOwnFont ? m_hOwnFont : m_hDialogFont; }

int CWin32DialogScale::X(int dlu) const { return res::DluToPixelsX(dlu, m_base.x); }

int CWin32DialogScale::Y(int dlu) const { return res::DluToPixelsY(dlu, m_base.y); }

HFONT CWin32DialogScale::MakeFont(UINT dpi) const
{
    LOGFONTW lf = m_lf;
    lf.lfHeight = -MulDiv(m_pTmpl ? m_pTmpl->pointSize : 9, static_cast<int>(dpi), 72);
    lf.lfWidth = 0;
    return CreateFontIndirectW(&lf);
}

SIZE CWin32DialogScale::WindowSizeAt(UINT dpi) const
{
    if (!m_hDialog || !m_pTmpl)
        return {};
    HFONT font = MakeFont(dpi);
    const win32::BaseUnits base = font ? win32::MeasureBaseUnits(font) : m_base;
    if (font)
        DeleteObject(font);
    const RECT client{0, 0, res::DluToPixelsX(m_pTmpl->cx, base.x),
                      res::DluToPixelsY(m_pTmpl->cy, base.y)};
    const RECT r = win32::WindowRectForDpi(
        client, static_cast<DWORD>(GetWindowLongW(m_hDialog, GWL_STYLE)),
        static_cast<DWORD>(GetWindowLongW(m_hDialog, GWL_EXSTYLE)), dpi);
    return {r.right - r.left, r.bottom - r.top};
}

void CWin32DialogScale::Rescale(UINT dpi, const RECT* windowRect)
{
    if (!m_hDialog || !m_pTmpl || dpi == 0)
        return;
    HFONT font = MakeFont(dpi);
    if (!font)
        return;
    HFONT old = m_hOwnFont;
    m_hOwnFont = font;
    m_nDpi = dpi;
    m_base = win32::MeasureBaseUnits(font);

    RECT r;
    if (windowRect) {
        r = *windowRect;
    } else {
        GetWindowRect(m_hDialog, &r);
        const SIZE size = WindowSizeAt(dpi);
        r.right = r.left + size.cx;
        r.bottom = r.top + size.cy;
    }
    SendMessageW(m_hDialog, WM_SETREDRAW, FALSE, 0);
    SetWindowPos(m_hDialog, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // Where the frame is not of the new scale (a system that scales only
    // the client area), the frame grows instead of the client area.
    RECT client;
    GetClientRect(m_hDialog, &client);
    const int dx = X(m_pTmpl->cx) - client.right;
    const int dy = Y(m_pTmpl->cy) - client.bottom;
    if (dx != 0 || dy != 0)
        SetWindowPos(m_hDialog, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (const auto& [child, item] : m_items) {
        // An icon control takes the size of its icon.
        const bool icon = !item.label && item.control->kind == res::ControlKind::Icon;
        SetWindowPos(child, nullptr, X(item.x), Y(item.y), X(item.cx), Y(item.cy),
                     SWP_NOZORDER | SWP_NOACTIVATE | (icon ? SWP_NOSIZE : 0));
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    SendMessageW(m_hDialog, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(m_hDialog, nullptr, nullptr,
                 RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    if (old)
        DeleteObject(old);
}
