// What the Win32 window system's own tests share with its contract driver.
#pragma once

#include "win32_api.h"

#include <functional>
#include <string>
#include <vector>

#include "test_window_system.h"

// The window system the driver runs, for the tests of what is Win32's own.
CTestWindowSystem& Win32TestWindowSystem();

// Modifiers held while a key is sent; Sys sends it as WM_SYSKEYDOWN, as
// F10 and keys with Alt come.
enum class Mod { None = 0, Ctrl = 1, Shift = 2, Sys = 4 };
constexpr Mod operator|(Mod a, Mod b) { return static_cast<Mod>(static_cast<int>(a) | static_cast<int>(b)); }
constexpr bool Has(Mod all, Mod one) { return (static_cast<int>(all) & static_cast<int>(one)) != 0; }

// Key `vk` down and up at `target` as the keyboard sends it, with `mods`
// held, through the dialog manager's loop; then what it caused.
void SendKey(HWND target, UINT vk, Mod mods = Mod::None);

// The entries of the popup menu that `open` opens (escaped at once), or
// none.
std::vector<std::u16string> Win32MenuOpenedBy(const std::function<void()>& open);

// Leaves a bitmap of the window (with its frame), and of window `also`
// where it lies beside it, named `name` for the run script to turn into a
// PNG.
void SaveScreenshot(HWND hwnd, const char* name, HWND also = nullptr);
