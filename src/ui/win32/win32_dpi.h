// The screen's scale as one window sees it. The per-monitor calls are
// Windows 10's: they are looked up at run time, so that the program still
// starts where they are missing, and each answer falls back to the
// system-wide scale there.
#pragma once

#include "win32_api.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

namespace win32 {

constexpr UINT kDefaultDpi = 96;

// The scale of the screen as a whole (the logical pixels per inch).
UINT SystemDpi();
// The scale of the monitor `hwnd` is on, as this program is told it;
// SystemDpi() where Windows knows no other.
UINT WindowDpi(HWND hwnd);
// A system metric (SM_CXICON, ...) at `dpi`.
int MetricForDpi(int index, UINT dpi);
// The window rectangle around `client` for a window of these styles at
// `dpi`.
RECT WindowRectForDpi(RECT client, DWORD style, DWORD exStyle, UINT dpi);
// The dialog manager leaves a change of scale to the dialog's own
// procedure: Windows' own rescaling of dialogs would lay the controls out
// again without the labels this program widens.
void TakeOverDpiChanges(HWND dialog);

}  // namespace win32
