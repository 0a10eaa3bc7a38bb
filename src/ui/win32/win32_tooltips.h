// Explanations shown on hover and given to screen readers: one tooltip
// control per dialog, made when the first explanation is set and
// destroyed with the dialog.
#pragma once

#include "win32_api.h"

#include <set>
#include <string>

class CWin32ToolTips {
public:
    // Control `id` of `dialog` explains itself with `text`; "" removes it.
    void Set(HWND dialog, HINSTANCE instance, int id, const std::u16string& text);
    // The dialog, and its tooltip control with it, are gone.
    void Forget();

    // Long explanations wrap at this width (dialog units) instead of
    // running off the screen.
    static constexpr int kMaxWidthDlu = 200;
    // That width in pixels at the dialog's scale; until it is set, the
    // dialog manager's own conversion.
    void SetMaxWidth(int pixels);

private:
    HWND m_hTip = nullptr;
    int m_nMaxWidth = 0;
    std::set<int> m_ids;
};
