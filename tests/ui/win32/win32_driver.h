// What the Win32 window system's own tests share with its contract driver.
#pragma once

#include "win32_api.h"

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

// Leaves a bitmap of the window (with its frame), and of window `also`
// where it lies beside it, named `name` for the run script to turn into a
// PNG.
void SaveScreenshot(HWND hwnd, const char* name, HWND also = nullptr);
