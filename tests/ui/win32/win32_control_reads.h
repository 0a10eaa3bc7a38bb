// What the contract's driver reads off the dialog manager's controls.
#pragma once

#include "win32_api.h"

#include <string>

#include "window_contract.h"

// The text of the tool tip that dialog `dlg` gives `ctrl`, or none.
std::u16string ToolTipText(HWND dlg, HWND ctrl);

// The height of the font of `h` (or none: 0), in points.
int FontPointsOf(HWND h);

// The first and last rows of edit box `box` shown whole.
contract::RowsInSight RowsInSightOf(HWND box);

// The clipboard's text, or none.
std::u16string ClipboardText();
