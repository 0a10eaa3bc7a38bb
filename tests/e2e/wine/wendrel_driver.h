// What the driver's two files share: the console's control IDs, the
// reply, the bounded reads of a control and the wait.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace driver {

constexpr int kStatus = 1000;
constexpr int kInput = 1001;
constexpr int kHistory = 1002;
constexpr int kQuit = 2;
// Longest a single message may take before the window counts as frozen
// for the commands that are not about freezing.
constexpr UINT kMessageLimitMs = 10000;

struct Reply {
    bool ok;
    std::string detail;
};

std::string Utf8(const std::wstring& s);
std::wstring FromUtf8(const char* s);
// The control's text, read with a bounded message (GetDlgItemTextW would
// wait without limit on a frozen window).
bool ItemText(HWND dlg, int id, std::wstring& text);
// A reply is one line: line breaks in the text show as "\n".
Reply Text(bool ok, const char* label, const std::wstring& text);

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

// The history box's view, scroll, zoom and menu, keys in a control, the
// save dialog and the boxes around it, and input-is; nullopt for any
// other command. `first` is the first word of the arguments, `tail` the rest.
std::optional<Reply> RunHistoryCommand(HWND dlg, const std::string& command,
                                       const std::string& first, const std::string& tail);

}  // namespace driver
