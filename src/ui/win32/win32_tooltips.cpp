#include "win32_tooltips.h"

void CWin32ToolTips::Set(HWND dialog, HINSTANCE instance, int id, const std::u16string& text)
{
    HWND ctrl = dialog ? GetDlgItem(dialog, id) : nullptr;
    if (!ctrl)
        return;
    const bool known = m_ids.count(id) != 0;
    if (text.empty() && !known)
        return;
    if (!m_hTip) {
        m_hTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                 instance, nullptr);
        if (!m_hTip)
            return;
        if (m_nMaxWidth <= 0) {
            RECT r{0, 0, kMaxWidthDlu, 0};
            MapDialogRect(dialog, &r);
            m_nMaxWidth = r.right;
        }
        SendMessageW(m_hTip, TTM_SETMAXTIPWIDTH, 0, m_nMaxWidth);
        // Long enough to read a sentence or two.
        SendMessageW(m_hTip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
    }
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = dialog;
    ti.uId = reinterpret_cast<UINT_PTR>(ctrl);
    if (text.empty()) {
        SendMessageW(m_hTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
        m_ids.erase(id);
        return;
    }
    std::u16string copy = text;  // the control copies it
    ti.lpszText = reinterpret_cast<LPWSTR>(copy.data());
    SendMessageW(m_hTip, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
                 reinterpret_cast<LPARAM>(&ti));
    m_ids.insert(id);
}

void CWin32ToolTips::SetMaxWidth(int pixels)
{
    m_nMaxWidth = pixels;
    if (m_hTip)
        SendMessageW(m_hTip, TTM_SETMAXTIPWIDTH, 0, pixels);
}

void CWin32ToolTips::Forget()
{
    m_hTip = nullptr;  // owned by the dialog, destroyed with it
    m_ids.clear();
    m_nMaxWidth = 0;
}
