// What the Win32 window system's own tests share with its contract driver.
#pragma once

#include "win32_api.h"

#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "test_window_system.h"
#include "win32_input.h"
#include "win32_text.h"

// The window system the driver runs, for the tests of what is Win32's own.
CTestWindowSystem& Win32TestWindowSystem();

// The entries of the popup menu that `open` opens (escaped at once), or
// none.
std::vector<std::u16string> Win32MenuOpenedBy(const std::function<void()>& open);

// A rectangle to compare, and a child's rectangle in its dialog's client
// coordinates. (A window's text: WindowText, the window system's own.)
inline std::tuple<long, long, long, long> Tie(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

inline RECT ChildRect(HWND dlg, HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// What the screen shows inside `r`, top row first, 32 bits a pixel.
std::vector<std::uint32_t> ScreenPixels(const RECT& r);

// Leaves a bitmap of the window (with its frame), and of window `also`
// where it lies beside it, named `name` for the run script to turn into a
// PNG.
void SaveScreenshot(HWND hwnd, const char* name, HWND also = nullptr);
