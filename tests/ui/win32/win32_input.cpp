#include "win32_input.h"

#include "thread_timers.h"

namespace {

// The mnemonic of a menu entry: the letter after its single '&'.
wchar_t Mnemonic(const std::u16string& entry)
{
    for (std::size_t i = 0; i + 1 < entry.size(); ++i) {
        if (entry[i] == u'&' && entry[i + 1] != u'&')
            return static_cast<wchar_t>(entry[i + 1]);
        if (entry[i] == u'&')
            ++i;
    }
    return 0;
}

void PostKey(HWND target, UINT vk)
{
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
}

}  // namespace

std::u16string TextOf(HWND h)
{
    std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(h)) + 1, u'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(h, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()))));
    return text;
}

// The entries' texts, and the checked ones.
std::vector<std::u16string> MenuEntries(HMENU menu, std::vector<std::u16string>* checked)
{
    std::vector<std::u16string> entries;
    const int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof mi;
        mi.fMask = MIIM_FTYPE | MIIM_STATE;
        GetMenuItemInfoW(menu, i, TRUE, &mi);
        wchar_t text[256] = {};
        if (!(mi.fType & MFT_SEPARATOR))
            GetMenuStringW(menu, i, text, 256, MF_BYPOSITION);
        entries.emplace_back(reinterpret_cast<const char16_t*>(text));
        if (checked && (mi.fState & MFS_CHECKED))
            checked->push_back(entries.back());
    }
    return entries;
}

KeyStroke Stroke(contract::Key key)
{
    using contract::Key;
    switch (key) {
    case Key::Enter: return {VK_RETURN, Mod::None};
    case Key::Escape: return {VK_ESCAPE, Mod::None};
    case Key::Up: return {VK_UP, Mod::None};
    case Key::Down: return {VK_DOWN, Mod::None};
    case Key::PageUp: return {VK_PRIOR, Mod::None};
    case Key::PageDown: return {VK_NEXT, Mod::None};
    case Key::Home: return {VK_HOME, Mod::None};
    case Key::End: return {VK_END, Mod::None};
    case Key::CtrlHome: return {VK_HOME, Mod::Ctrl};
    case Key::CtrlEnd: return {VK_END, Mod::Ctrl};
    case Key::CtrlF: return {'F', Mod::Ctrl};
    case Key::CtrlS: return {'S', Mod::Ctrl};
    case Key::F3: return {VK_F3, Mod::None};
    case Key::ShiftF3: return {VK_F3, Mod::Shift};
    case Key::CtrlPlus: return {VK_OEM_PLUS, Mod::Ctrl};
    case Key::CtrlShiftPlus: return {VK_OEM_PLUS, Mod::Ctrl | Mod::Shift};
    case Key::CtrlKeypadPlus: return {VK_ADD, Mod::Ctrl};
    case Key::CtrlMinus: return {VK_OEM_MINUS, Mod::Ctrl};
    case Key::CtrlKeypadMinus: return {VK_SUBTRACT, Mod::Ctrl};
    case Key::Ctrl0: return {'0', Mod::Ctrl};
    case Key::CopySelection: break;
    }
    return {0, Mod::None};
}

void SendKey(HWND target, UINT vk, Mod mods)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE ctrl = keys[VK_CONTROL], shift = keys[VK_SHIFT];
    keys[VK_CONTROL] = Has(mods, Mod::Ctrl) ? 0x80 : 0;
    keys[VK_SHIFT] = Has(mods, Mod::Shift) ? 0x80 : 0;
    SetKeyboardState(keys);
    const bool sys = Has(mods, Mod::Sys);
    PostMessageW(target, sys ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, 1);
    PostMessageW(target, sys ? WM_SYSKEYUP : WM_KEYUP, vk, 0xC0000001);
    contract::Driver().ProcessEvents();
    GetKeyboardState(keys);
    keys[VK_CONTROL] = ctrl;
    keys[VK_SHIFT] = shift;
    SetKeyboardState(keys);
}

std::vector<std::u16string> MenuOpenedBy(HWND owner, const std::u16string& choose,
                                         const std::function<void()>& open,
                                         const std::function<void()>& process,
                                         std::vector<std::u16string>* checked)
{
    CTimers timers;
    std::vector<std::u16string> entries;
    const CTimers::Handle timer = timers.Start([&] {
        HWND popup = FindWindowW(L"#32768", nullptr);
        HMENU menu = popup && IsWindowVisible(popup)
                         ? reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0))
                         : nullptr;
        if (!menu)
            return false;
        entries = MenuEntries(menu, checked);
        if (const wchar_t key = choose.empty() ? 0 : Mnemonic(choose))
            PostMessageW(owner, WM_CHAR, key, 1);
        else
            PostKey(owner, VK_ESCAPE);
        return true;
    });
    open();
    // A menu opened by a posted key opens while these run.
    for (int i = 0; i < 20 && entries.empty(); ++i) {
        process();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    CTimers::Stop(timer);
    process();
    return entries;
}

