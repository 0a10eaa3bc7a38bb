// CWin32RowBox's zoom: a font of the box's own, the dialog's face at
// another size, in the steps of box_zoom.h; the view stays as the follow
// rule says.
#include "win32_row_box.h"

#include <utility>

namespace {

bool Held(int key) { return GetKeyState(key) < 0; }

}  // namespace

bool CWin32RowBox::OnZoomKey(WPARAM key)
{
    if (!Held(VK_CONTROL) || Held(VK_MENU))
        return false;
    // Plus with or without Shift (where '+' is shifted, it is the same
    // key); minus and 0 without.
    switch (key) {
    case VK_OEM_PLUS:
    case VK_ADD: Zoom(wsys::CBoxZoom::Step::In); return true;
    case VK_OEM_MINUS:
    case VK_SUBTRACT:
        if (Held(VK_SHIFT))
            return false;
        Zoom(wsys::CBoxZoom::Step::Out);
        return true;
    case '0':
    case VK_NUMPAD0:
        if (Held(VK_SHIFT))
            return false;
        Zoom(wsys::CBoxZoom::Step::Reset);
        return true;
    default: return false;
    }
}

void CWin32RowBox::Zoom(wsys::CBoxZoom::Step step)
{
    if (m_zoom.Take(step))
        ApplyZoom();
}

void CWin32RowBox::ApplyZoom()
{
    if (!m_hBox)
        return;
    const wsys::CFollowRule::Resized view = m_follow.AfterResize(FirstLine());
    HFONT font = m_hDialogFont;
    HFONT made = nullptr;
    LOGFONTW lf{};
    if (m_zoom.Zoomed() && m_hDialogFont && GetObjectW(m_hDialogFont, sizeof lf, &lf)) {
        // The dialog's face at the zoom's size, at the dialog's scale.
        lf.lfHeight = MulDiv(lf.lfHeight, m_zoom.Points(), m_zoom.DialogPoints());
        lf.lfWidth = 0;
        made = CreateFontIndirectW(&lf);
        if (made)
            font = made;
    }
    const bool setting = std::exchange(m_bSettingFont, true);
    SendMessageW(m_hBox, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    m_bSettingFont = setting;
    if (m_hZoomFont)
        DeleteObject(m_hZoomFont);
    m_hZoomFont = made;
    // WM_SETFONT brought a following view to the bottom; any other keeps
    // its first row.
    if (!view.bottom) {
        const bool updating = std::exchange(m_bUpdating, true);
        ScrollToLine(view.first);
        m_bUpdating = updating;
    }
    InvalidateRect(m_hBox, nullptr, TRUE);
}
