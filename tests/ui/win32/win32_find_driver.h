// The system's find window as the contract's driver works it: through its
// controls (dlgs.h), as its user would.
#pragma once

#include "win32_api.h"

#include <functional>
#include <string>

class CWin32DialogWindow;

namespace find_driver {

// The console's find window while it shows, else nullptr.
HWND Shown(const CWin32DialogWindow* console);
std::u16string Field(HWND find);
// `text` in the field in place of what it held, the case option as
// `matchCase`, the direction, then Find Next; returns what the find window
// said meanwhile (its message box, closed once read), "" for nothing.
// `process` turns the event loop.
std::u16string Search(HWND find, const std::u16string& text, bool matchCase, bool forward,
                      const std::function<void()>& process);

}  // namespace find_driver
