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
// The history box's and saving commands are in wendrel_driver_history.cpp;
// what both files share is in wendrel_driver.h.
#include "wendrel_driver.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace driver {

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

std::wstring FromUtf8(const char* s)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s, -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

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

}  // namespace driver

namespace {

using namespace driver;

HWND Console() { return FindWindowW(L"#32770", L"Wendrel"); }

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
