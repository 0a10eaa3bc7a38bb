// What the Win32 window system's own tests share with its contract driver.
#pragma once

#include "win32_api.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "test_window_system.h"
#include "win32_input.h"

// The window system the driver runs, for the tests of what is Win32's own.
CTestWindowSystem& Win32TestWindowSystem();

// The entries of the popup menu that `open` opens (escaped at once), or
// none.
std::vector<std::u16string> Win32MenuOpenedBy(const std::function<void()>& open);

// What the screen shows inside `r`, top row first, 32 bits a pixel.
std::vector<std::uint32_t> ScreenPixels(const RECT& r);

// Leaves a bitmap of the window (with its frame), and of window `also`
// where it lies beside it, named `name` for the run script to turn into a
// PNG.
void SaveScreenshot(HWND hwnd, const char* name, HWND also = nullptr);
