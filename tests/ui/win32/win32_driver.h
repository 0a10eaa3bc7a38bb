// What the Win32 window system's own tests share with its contract driver.
#pragma once

#include "win32_api.h"

#include "test_window_system.h"

// The window system the driver runs, for the tests of what is Win32's own.
CTestWindowSystem& Win32TestWindowSystem();

// Leaves a bitmap of the window (with its frame) named `name` for the run
// script to turn into a PNG.
void SaveScreenshot(HWND hwnd, const char* name);
