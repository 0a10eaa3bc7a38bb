// Keys and popup menus as the user works them, for the contract's driver
// and the tests of what is Win32's own: keys posted through the dialog
// manager's loop with their modifiers held, and a menu read (and an entry
// chosen) from inside the loop the menu runs.
#pragma once

#include "win32_api.h"

#include <functional>
#include <string>
#include <vector>

#include "window_contract.h"

// Modifiers held while a key is sent; Sys sends it as WM_SYSKEYDOWN, as
// F10 and keys with Alt come.
enum class Mod { None = 0, Ctrl = 1, Shift = 2, Sys = 4 };
constexpr Mod operator|(Mod a, Mod b)
{
    return static_cast<Mod>(static_cast<int>(a) | static_cast<int>(b));
}
constexpr bool Has(Mod all, Mod one)
{
    return (static_cast<int>(all) & static_cast<int>(one)) != 0;
}

// Key `vk` down and up at `target` as the keyboard sends it, with `mods`
// held, through the dialog manager's loop; then what it caused.
void SendKey(HWND target, UINT vk, Mod mods = Mod::None);

// A key of the contract, as the keyboard sends it; vk 0 for none.
struct KeyStroke {
    UINT vk;
    Mod mods;
};
KeyStroke Stroke(contract::Key key);

std::u16string TextOf(HWND h);

// The entries of a menu as shown ('&' and all; "" a separator), and the
// checked ones.
std::vector<std::u16string> MenuEntries(HMENU menu, std::vector<std::u16string>* checked = nullptr);

// The entries of the popup menu that `open` opens, read from inside the
// menu's loop; then `choose` is chosen by its mnemonic ("" escapes). Keys
// go to `owner`, whose queue the menu's loop reads. Nothing: no menu
// opened. `process` turns the event loop.
std::vector<std::u16string> MenuOpenedBy(HWND owner, const std::u16string& choose,
                                         const std::function<void()>& open,
                                         const std::function<void()>& process,
                                         std::vector<std::u16string>* checked = nullptr);
