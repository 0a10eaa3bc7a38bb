// A dialog's layout at the scale of the monitor it is on. The dialog
// manager lays a dialog out once, at the scale it starts at; when the
// window moves to a monitor of another scale (or starts on one the dialog
// manager did not make it for), its font is made again at the new scale,
// the dialog units measured from that font, and every control put back at
// its template's rectangle in those units.
#pragma once

#include "win32_api.h"

#include <utility>
#include <vector>

#include "resources.h"
#include "win32_dialog_font.h"
#include "win32_dialog_template.h"

class CWin32DialogScale {
public:
    CWin32DialogScale() = default;
    ~CWin32DialogScale();
    CWin32DialogScale(const CWin32DialogScale&) = delete;
    CWin32DialogScale& operator=(const CWin32DialogScale&) = delete;

    // At WM_INITDIALOG: the font and units the dialog manager made it with.
    void Start(HWND dialog, const res::DialogTemplate& tmpl);
    // The dialog is gone: the font made here goes too.
    void Stop();

    UINT Dpi() const { return m_nDpi; }
    // The font the dialog draws with; our own once the scale changed.
    HFONT Font() const;
    bool OwnsFont() const { return m_hOwnFont != nullptr; }
    // The scale the dialog's font was made for does not match the monitor's.
    bool Stale(UINT dpi) const { return dpi != m_nDpi; }

    // The dialog's children in the dialog manager's order, each with its
    // item of the template.
    const std::vector<std::pair<HWND, win32::TemplateItem>>& Items() const { return m_items; }

    // Dialog units to pixels at the current scale.
    int X(int dlu) const;
    int Y(int dlu) const;

    // The window's size at `dpi` (for WM_GETDPISCALEDSIZE).
    SIZE WindowSizeAt(UINT dpi) const;
    // Lays the dialog out at `dpi`: in `windowRect` (screen coordinates)
    // when given, else at its place, in the size WindowSizeAt gives.
    void Rescale(UINT dpi, const RECT* windowRect);

private:
    HFONT MakeFont(UINT dpi) const;

    HWND m_hDialog = nullptr;
    const res::DialogTemplate* m_pTmpl = nullptr;
    LOGFONTW m_lf{};  // the dialog manager's font
    HFONT m_hDialogFont = nullptr;
    HFONT m_hOwnFont = nullptr;
    UINT m_nDpi = 0;  // the scale the font was made for
    win32::BaseUnits m_base;
    // The children in the dialog manager's order, with their template's
    // rectangles.
    std::vector<std::pair<HWND, win32::TemplateItem>> m_items;
};
