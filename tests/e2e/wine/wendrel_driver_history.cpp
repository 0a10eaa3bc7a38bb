// The driver's commands on the history box (its view, scroll bar, zoom
// and menu), on the save dialog and the boxes around it, and the keys.
#include <cstdlib>
#include <string>
#include <vector>

#include "wendrel_driver.h"

namespace driver {
namespace {

// --- the history box's view and menu, the input line's keys ---
// Only messages without pointers (and WM_GETTEXT) cross processes on
// every system: the view is read from the edit control's positions.

std::vector<std::wstring> Rows(const std::wstring& text)
{
    std::vector<std::wstring> rows;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
        rows.push_back(text.substr(at, end - at));
    rows.push_back(text.substr(at));
    return rows;
}

LRESULT Ask(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0)
{
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, kMessageLimitMs, &r)) return -1;
    return static_cast<LRESULT>(r);
}

// The top of row `row` in the box's client area.
int RowTop(HWND box, int row)
{
    const LRESULT at = Ask(box, EM_LINEINDEX, static_cast<WPARAM>(row));
    const LRESULT pos = at < 0 ? -1 : Ask(box, EM_POSFROMCHAR, static_cast<WPARAM>(at));
    return pos == -1 ? -1 : static_cast<short>(HIWORD(pos));
}

Reply View(HWND dlg)
{
    HWND box = GetDlgItem(dlg, kHistory);
    std::wstring text;
    if (!box || !ItemText(dlg, kHistory, text)) return {false, "no history box"};
    const std::vector<std::wstring> rows = Rows(text);
    const int count = text.empty() ? 0 : static_cast<int>(rows.size());
    const int first = static_cast<int>(Ask(box, EM_GETFIRSTVISIBLELINE));
    RECT client{};
    GetClientRect(box, &client);
    const int top = RowTop(box, first);
    const int height = first + 1 < count ? RowTop(box, first + 1) - top : client.bottom - top;
    int last = first - 1;
    while (count > 0 && last + 1 < count && top + (last + 2 - first) * height <= client.bottom)
        ++last;
    const bool bar = GetWindowLongW(box, GWL_STYLE) & WS_VSCROLL;
    std::wstring shown = L"empty";
    if (count) shown = L"first \"" + rows[first] + L"\" last \"" + rows[last] + L"\"";
    shown += L" rows " + std::to_wstring(count) + L" bar " + (bar ? L"1" : L"0");
    return {true, Utf8(shown)};
}

Reply Scroll(HWND dlg, const std::string& how)
{
    const int code = how == "up" ? SB_PAGEUP : how == "down" ? SB_PAGEDOWN
                   : how == "top" ? SB_TOP : how == "bottom" ? SB_BOTTOM : -1;
    if (code < 0) return {false, "no such scroll " + how};
    HWND box = GetDlgItem(dlg, kHistory);
    Ask(box, WM_VSCROLL, static_cast<WPARAM>(code));
    Ask(box, WM_VSCROLL, SB_ENDSCROLL);
    return View(dlg);
}

// Ctrl and the wheel over the box, `notches` away from the user: the
// zoom. Then the row height in pixels and the view.
Reply Zoom(HWND dlg, int notches)
{
    HWND box = GetDlgItem(dlg, kHistory);
    if (!box) return {false, "no history box"};
    RECT r{};
    GetWindowRect(box, &r);
    // Sent, not posted: it is answered once the box has handled it (a
    // message sent from another thread goes before the posted ones).
    Ask(box, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, notches * WHEEL_DELTA),
        MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    const int first = static_cast<int>(Ask(box, EM_GETFIRSTVISIBLELINE));
    const int height = RowTop(box, first + 1) - RowTop(box, first);
    const Reply view = View(dlg);
    return {view.ok, "height " + std::to_string(height) + " " + view.detail};
}

// Posted, as the keyboard's keys come: through the dialog manager's loop.
Reply Key(HWND dlg, int id, const std::string& name)
{
    const UINT vk = name == "UP"      ? VK_UP
                    : name == "DOWN"  ? VK_DOWN
                    : name == "ENTER" ? VK_RETURN
                                      : 0;
    HWND control = GetDlgItem(dlg, id);
    if (!vk || !control) return {false, "no key " + name + " for control " + std::to_string(id)};
    PostMessageW(control, WM_KEYDOWN, vk, 1);
    PostMessageW(control, WM_KEYUP, vk, 0xC0000001);
    return {true, "pressed " + name};
}

// The menu opens in the console's own thread; its entry is chosen by its
// mnemonic, which the menu's loop reads from that thread's queue.
Reply Menu(HWND dlg, const std::string& letter)
{
    HWND box = GetDlgItem(dlg, kHistory);
    if (!box || letter.size() != 1) return {false, "no box or no letter"};
    PostMessageW(box, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box), -1);
    auto popup = [] {
        HWND menu = FindWindowW(L"#32768", nullptr);
        return menu && IsWindowVisible(menu);
    };
    if (!WaitFor(10, popup)) return {false, "no menu opened"};
    PostMessageW(box, WM_CHAR, static_cast<WPARAM>(letter[0]), 1);
    const bool ok = WaitFor(10, [&] { return !popup(); });
    return {ok, ok ? "chose " + letter : "the menu stays open"};
}

// --- saving: the system's save dialog and the boxes it and the console
// show ---

constexpr wchar_t kSaveTitle[] = L"名前を付けて保存";

struct DialogLook {
    DWORD thread;
    const wchar_t* title;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND h, LPARAM lp)
{
    auto* look = reinterpret_cast<DialogLook*>(lp);
    wchar_t cls[16] = {}, text[128] = {};
    GetClassNameW(h, cls, 16);
    GetWindowTextW(h, text, 128);
    if (GetWindowThreadProcessId(h, nullptr) == look->thread && IsWindowVisible(h) &&
        std::wstring(cls) == L"#32770" && (!look->title || std::wstring(text) == look->title))
        look->found.push_back(h);
    return TRUE;
}

// Visible top-level dialogs of the console's thread titled `title` (any,
// where nullptr).
std::vector<HWND> Dialogs(HWND console, const wchar_t* title)
{
    DialogLook look{GetWindowThreadProcessId(console, nullptr), title, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&look));
    return look.found;
}

// A message box has its text in a static of id 0xFFFF; a file dialog has
// a file-name field (the combo box cmb13 or the edit edt1).
HWND FileNameField(HWND dlg)
{
    if (GetDlgItem(dlg, 0xFFFF)) return nullptr;
    for (int id : {0x47C, 0x480})
        if (HWND h = GetDlgItem(dlg, id)) return h;
    return nullptr;
}

HWND SaveDialog(HWND console)
{
    for (HWND h : Dialogs(console, kSaveTitle))
        if (FileNameField(h)) return h;
    return nullptr;
}

// A message box of the console's thread titled `title` (any, where
// nullptr) with button `button`, or nullptr.
HWND MessageBoxOf(HWND console, const wchar_t* title, int button = IDOK)
{
    for (HWND h : Dialogs(console, title))
        if (h != console && GetDlgItem(h, 0xFFFF) && GetDlgItem(h, button)) return h;
    return nullptr;
}

std::wstring TextOf(HWND h)
{
    std::wstring text;
    if (HWND parent = h ? GetParent(h) : nullptr) ItemText(parent, GetDlgCtrlID(h), text);
    return text;
}

Reply SaveCommand(HWND dlg, const std::string& command, const std::string& first,
                  const std::string& tail)
{
    const double seconds = std::atof(first.c_str());
    if (command == "save-dialog") {
        HWND save = nullptr;
        if (!WaitFor(seconds, [&] { return (save = SaveDialog(dlg)) != nullptr; }))
            return {false, "no save dialog"};
        std::wstring name, type;
        WaitFor(10, [&] { return !(name = TextOf(FileNameField(save))).empty(); });
        if (HWND types = GetDlgItem(save, 0x470)) type = TextOf(types);
        return {true, "name \"" + Utf8(name) + "\" type \"" + Utf8(type) + "\""};
    }
    if (command == "save-as") {
        HWND save = SaveDialog(dlg);
        if (!save) return {false, "no save dialog"};
        const std::wstring path = FromUtf8(tail.c_str());
        DWORD_PTR r = 0;
        SendMessageTimeoutW(FileNameField(save), WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG,
                            kMessageLimitMs, &r);
        PostMessageW(save, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(save, IDOK)));
        bool asked = false;
        const bool ok = WaitFor(seconds, [&] {
            asked = MessageBoxOf(dlg, nullptr, IDYES) != nullptr;
            return asked || !IsWindow(save) || !IsWindowVisible(save);
        });
        return {ok, ok ? (asked ? "asked" : "closed") : "the dialog stays"};
    }
    if (command == "confirm") {
        HWND box = nullptr;
        if (!WaitFor(seconds, [&] { return (box = MessageBoxOf(dlg, nullptr, IDYES)) != nullptr; }))
            return {false, "no question"};
        const std::wstring question = TextOf(GetDlgItem(box, 0xFFFF));
        const int button = tail == "yes" ? IDYES : IDNO;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
        const bool ok = WaitFor(seconds, [&] { return !IsWindow(box); });
        return Text(ok, "asked", question);
    }
    if (command == "message") {
        HWND box = nullptr;
        if (!WaitFor(seconds, [&] { return (box = MessageBoxOf(dlg, L"Wendrel")) != nullptr; }))
            return {false, "no message box"};
        const std::wstring text = TextOf(GetDlgItem(box, 0xFFFF));
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        const bool ok = WaitFor(10, [&] { return !IsWindow(box); });
        return Text(ok, "message", text);
    }
    // ctrl LETTER: from the keyboard, to the window in front.
    SetForegroundWindow(dlg);
    WaitFor(5, [&] { return GetForegroundWindow() == dlg; });
    const WORD vk = static_cast<WORD>(first.empty() ? 0 : first[0]);
    INPUT keys[4] = {};
    for (INPUT& k : keys) k.type = INPUT_KEYBOARD;
    keys[0].ki.wVk = VK_CONTROL;
    keys[1].ki.wVk = vk;
    keys[2].ki.wVk = vk;
    keys[2].ki.dwFlags = KEYEVENTF_KEYUP;
    keys[3].ki.wVk = VK_CONTROL;
    keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
    const bool ok = SendInput(4, keys, sizeof(INPUT)) == 4;
    return {ok, ok ? "pressed Ctrl+" + first : "no input"};
}

}  // namespace

std::optional<Reply> RunHistoryCommand(HWND dlg, const std::string& command,
                                       const std::string& first, const std::string& tail)
{
    if (command == "view") return View(dlg);
    if (command == "scroll") return Scroll(dlg, first);
    if (command == "key") return Key(dlg, std::atoi(first.c_str()), tail);
    if (command == "menu") return Menu(dlg, first);
    if (command == "save-dialog" || command == "save-as" || command == "confirm" ||
        command == "message" || command == "ctrl")
        return SaveCommand(dlg, command, first, tail);
    if (command == "zoom") return Zoom(dlg, std::atoi(first.c_str()));
    if (command == "input-is") {
        const std::wstring wanted = FromUtf8(tail.c_str());
        std::wstring text;
        const bool ok = WaitFor(std::atof(first.c_str()),
                                [&] { return ItemText(dlg, kInput, text) && text == wanted; });
        return Text(ok, "input", text);
    }
    return std::nullopt;
}

}  // namespace driver
