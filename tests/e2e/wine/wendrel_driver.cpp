// Drives the running wendrel.exe the Windows way, through its controls
// (FindWindowW, GetDlgItemTextW, SendMessageTimeoutW, PostMessageW), never
// by pixels. One command per run; the case script strings them together.
//
//   window SECONDS          wait for the console window
//   status SECONDS TEXT     wait until the status label is TEXT
//   history SECONDS TEXT    wait until a history line is TEXT
//   type TEXT               type TEXT into the input line (character by
//                           character), press Enter, wait for it to empty
//   click ID                press push button ID
//   input                   the input line's text
//   responsive MS           the window answers a message within MS ms
//   close SECONDS           "終了", then wait until the window is gone
//   view                    the history rows wholly in view, the row count
//                           and whether the scroll bar shows
//   scroll up|down|top|bottom   the history's scroll bar, as clicked
//   key ID UP|DOWN|ENTER    a key pressed in control ID
//   input-is SECONDS TEXT   wait until the input line is TEXT
//   menu LETTER             the history box's menu entry of mnemonic LETTER
//   ctrl LETTER             Ctrl+LETTER from the keyboard, the console in front
//   save-dialog SECONDS     wait for the save dialog: the name and the type
//                           it offers
//   save-as SECONDS PATH    type PATH as the file name and press Save: the
//                           dialog goes, or asks before replacing
//   confirm SECONDS yes|no  answer the question before a file is replaced
//   message SECONDS         the text of the console's message box, closed
//   keys TEXT               type TEXT into the input line, no Enter
//   clear-input             select the input line's text and delete it
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kStatus = 1000;
constexpr int kInput = 1001;
constexpr int kHistory = 1002;
constexpr int kQuit = 2;
// Longest a single message may take before the window counts as frozen
// for the commands that are not about freezing.
constexpr UINT kMessageLimitMs = 10000;

std::string Utf8(const std::wstring& s)
{
    if (s.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

HWND Console() { return FindWindowW(L"#32770", L"Wendrel"); }

// The control's text, read with a bounded message (GetDlgItemTextW would
// wait without limit on a frozen window).
bool ItemText(HWND dlg, int id, std::wstring& text)
{
    HWND item = GetDlgItem(dlg, id);
    if (!item) return false;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(item, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageLimitMs,
                             &length))
        return false;
    std::wstring buffer(length + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(item, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kMessageLimitMs, &got))
        return false;
    buffer.resize(got);
    text = buffer;
    return true;
}

bool HasLine(const std::wstring& text, const std::wstring& line)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L"\r\n", start);
        if (text.compare(start, (end == std::wstring::npos ? text.size() : end) - start, line) ==
            0)
            return true;
        if (end == std::wstring::npos) break;
        start = end + 2;
    }
    return false;
}

// Polls `ok` every 100 ms until it holds or `seconds` have passed.
template <typename F>
bool WaitFor(double seconds, F ok)
{
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    for (;;) {
        if (ok()) return true;
        if (GetTickCount64() >= until) return false;
        Sleep(100);
    }
}

std::wstring FromUtf8(const char* s)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s, -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

struct Reply {
    bool ok;
    std::string detail;
};

// A reply is one line: line breaks in the text show as "\n".
Reply Text(bool ok, const char* label, const std::wstring& text)
{
    std::string shown;
    for (char c : Utf8(text)) {
        if (c == '\r') continue;
        if (c == '\n')
            shown += "\\n";
        else
            shown += c;
    }
    return {ok, std::string(label) + " \"" + shown + "\""};
}

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

// Typing without sending, and emptying the line, as its user does.
std::optional<Reply> RunInputCommand(HWND dlg, const std::string& command, const std::string& rest)
{
    if (command != "keys" && command != "clear-input") return std::nullopt;
    HWND edit = GetDlgItem(dlg, kInput);
    if (!edit) return Reply{false, "no input line"};
    DWORD_PTR r = 0;
    SendMessageTimeoutW(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE, SMTO_ABORTIFHUNG,
                        kMessageLimitMs, &r);
    if (command == "keys") {
        for (wchar_t c : FromUtf8(rest.c_str()))
            if (!SendMessageTimeoutW(edit, WM_CHAR, c, 1, SMTO_ABORTIFHUNG, kMessageLimitMs, &r))
                return Reply{false, "input line does not answer"};
    } else {
        SendMessageTimeoutW(edit, EM_SETSEL, 0, -1, SMTO_ABORTIFHUNG, kMessageLimitMs, &r);
        SendMessageTimeoutW(edit, WM_CHAR, VK_BACK, 1, SMTO_ABORTIFHUNG, kMessageLimitMs, &r);
    }
    std::wstring text;
    const bool ok = ItemText(dlg, kInput, text);
    return Text(ok, "input", text);
}

// One command: its name, then its words; the last argument is the rest of
// the line (texts may hold spaces).
Reply Run(const std::string& command, const std::string& rest)
{
    const std::size_t space = rest.find(' ');
    const std::string first = rest.substr(0, space);
    const std::string tail = space == std::string::npos ? "" : rest.substr(space + 1);

    if (command == "window") {
        const double seconds = first.empty() ? 60 : std::atof(first.c_str());
        const bool ok = WaitFor(seconds, [] { return Console() != nullptr; });
        return {ok, ok ? "found" : "not found"};
    }

    HWND dlg = Console();
    if (!dlg) return {false, "no console window"};

    if (command == "status" || command == "history") {
        const double seconds = std::atof(first.c_str());
        const std::wstring wanted = FromUtf8(tail.c_str());
        const int id = command == "status" ? kStatus : kHistory;
        std::wstring text;
        const bool ok = WaitFor(seconds, [&] {
            if (!ItemText(dlg, id, text)) return false;
            return id == kStatus ? text == wanted : HasLine(text, wanted);
        });
        return Text(ok, command.c_str(), text);
    }

    if (command == "type") {
        HWND edit = GetDlgItem(dlg, kInput);
        if (!edit) return {false, "no input line"};
        // Characters as the keyboard delivers them, through the input
        // line's own handling.
        DWORD_PTR r = 0;
        SendMessageTimeoutW(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE,
                            SMTO_ABORTIFHUNG, kMessageLimitMs, &r);
        for (wchar_t c : FromUtf8(rest.c_str()))
            if (!SendMessageTimeoutW(edit, WM_CHAR, c, 1, SMTO_ABORTIFHUNG, kMessageLimitMs, &r))
                return {false, "input line does not answer"};
        std::wstring typed;
        ItemText(dlg, kInput, typed);
        if (typed != FromUtf8(rest.c_str())) return Text(false, "typed", typed);
        // Enter goes through the dialog manager, as a key press does.
        PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        PostMessageW(edit, WM_KEYUP, VK_RETURN, 0xC01C0001);
        // Sent once the input line is empty again.
        const bool ok = WaitFor(10, [&] { return ItemText(dlg, kInput, typed) && typed.empty(); });
        return Text(ok, "input after Enter", typed);
    }

    if (command == "click") {
        HWND button = GetDlgItem(dlg, std::atoi(first.c_str()));
        if (!button) return {false, "no such button"};
        DWORD_PTR r = 0;
        const bool ok = SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG,
                                            kMessageLimitMs, &r) != 0;
        return {ok, ok ? "clicked" : "no answer"};
    }

    if (command == "input") {
        std::wstring text;
        const bool ok = ItemText(dlg, kInput, text);
        return Text(ok, "input", text);
    }

    if (command == "responsive") {
        const UINT limit = static_cast<UINT>(std::atoi(first.c_str()));
        const ULONGLONG start = GetTickCount64();
        DWORD_PTR r = 0;
        const bool ok = SendMessageTimeoutW(dlg, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, limit, &r) != 0;
        return {ok, std::string(ok ? "answered" : "no answer") + " after " +
                        std::to_string(GetTickCount64() - start) + " ms"};
    }

    if (command == "close") {
        const double seconds = first.empty() ? 30 : std::atof(first.c_str());
        PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(kQuit, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dlg, kQuit)));
        const bool ok = WaitFor(seconds, [] { return Console() == nullptr; });
        return {ok, ok ? "gone" : "still open"};
    }

    if (std::optional<Reply> r = RunHistoryCommand(dlg, command, first, tail)) return *r;
    if (std::optional<Reply> r = RunInputCommand(dlg, command, rest)) return *r;
    return {false, "unknown command " + command};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::string(argv[1]) == "session") {
        // Commands from stdin, one reply line each: "ok ..." or "fail ...".
        char line[4096];
        while (std::fgets(line, sizeof line, stdin)) {
            std::string text = line;
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            if (text.empty()) continue;
            const std::size_t space = text.find(' ');
            const Reply r = Run(text.substr(0, space),
                                space == std::string::npos ? "" : text.substr(space + 1));
            std::printf("%s %s\n", r.ok ? "ok" : "fail", r.detail.c_str());
            std::fflush(stdout);
        }
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: wendrel_driver session | COMMAND [ARG...]\n");
        return 2;
    }
    std::string rest;
    for (int i = 2; i < argc; ++i) {
        if (i > 2) rest.push_back(' ');
        rest.append(argv[i]);
    }
    const Reply r = Run(argv[1], rest);
    std::printf("%s %s\n", r.ok ? "ok" : "fail", r.detail.c_str());
    return r.ok ? 0 : 1;
}
