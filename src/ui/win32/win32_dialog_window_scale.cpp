// CWin32DialogWindow at the scale of its monitor: the layout follows a
// move to a monitor of another scale, and so does all that was computed
// from the layout once.
#include "win32_dialog_window.h"

#include "win32_dpi.h"
#include "win32_row_box.h"
#include "win32_text.h"

void CWin32DialogWindow::StartScale()
{
    // Windows' own rescaling of dialogs would undo what is done here.
    win32::TakeOverDpiChanges(m_hwnd);
    m_scale.Start(m_hwnd, m_tmpl);
    const UINT dpi = win32::WindowDpi(m_hwnd);
    if (m_scale.Stale(dpi))
        m_scale.Rescale(dpi, nullptr);
    FollowScale();
}

bool CWin32DialogWindow::OnGetDpiScaledSize(UINT dpi, SIZE* size)
{
    if (!size || dpi == 0)
        return false;
    *size = m_scale.WindowSizeAt(dpi);
    SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, TRUE);
    return true;
}

void CWin32DialogWindow::OnDpiChanged(UINT dpi, const RECT* suggested)
{
    // Windows suggests where the window goes (a rectangle of the size
    // WM_GETDPISCALEDSIZE gave): taking it keeps the window from bouncing
    // between two monitors.
    m_scale.Rescale(dpi, suggested);
    FollowScale();
    SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, 0);
}

void CWin32DialogWindow::FollowScale()
{
    const UINT dpi = m_scale.Dpi();
    for (const auto& [h, item] : m_scale.Items()) {
        const res::ControlTemplate& c = *item.control;
        if (item.label)
            continue;
        if (c.kind == res::ControlKind::Static && c.id != res::IDC_STATIC) {
            m_labelWidths[c.id] = m_scale.X(c.cx);
            FitLabel(h, m_labelWidths[c.id]);
        } else if (c.kind == res::ControlKind::MultiEdit) {
            RecomputeRowBoxMetrics(h);
        } else if (c.kind == res::ControlKind::Icon) {
            if (const CWin32WindowSystem::Icon* icon = m_ws.IconAt(c.iconId, dpi))
                SendMessageW(h, STM_SETICON, reinterpret_cast<WPARAM>(icon->bigIcon), 0);
        }
    }
    m_tips.SetMaxWidth(m_scale.X(CWin32ToolTips::kMaxWidthDlu));
    // The window's own icons at the sizes of this scale.
    if (const CWin32WindowSystem::Icon* icon = m_nBigIconId ? m_ws.IconAt(m_nBigIconId, dpi) : nullptr)
        SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon->bigIcon));
    if (const CWin32WindowSystem::Icon* icon = m_nSmallIconId ? m_ws.IconAt(m_nSmallIconId, dpi) : nullptr)
        SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon->smallIcon));
}

const CWin32WindowSystem::Icon* CWin32DialogWindow::ScaledIcon(wsys::IconHandle icon) const
{
    const CWin32WindowSystem::Icon* i = CWin32WindowSystem::ToIcon(icon);
    if (!i || !m_scale.Dpi())
        return i;
    const CWin32WindowSystem::Icon* scaled = m_ws.IconAt(i->id, m_scale.Dpi());
    return scaled ? scaled : i;
}
