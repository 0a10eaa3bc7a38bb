// Every text the console shows or logs, each written once: the status
// label's, the explanation of a refused open, the standard-error line.
// Window texts are Japanese and log texts English (the status label's own
// three are fixed by the design). What grants access is the platform's
// fact (hid::AccessFacts); the words around it are the console's and name
// no operating system.
#pragma once

#include <string>
#include <string_view>

#include "hid_platform.h"

namespace texts {

inline constexpr std::u16string_view kNoConnection = u"Non Connections";
inline constexpr std::u16string_view kNotPermitted = u"開く権限がありません";
inline constexpr std::u16string_view kUnreadable = u"ボードから読み取れません";
inline constexpr std::u16string_view kHeldByOther = u"他のプログラムが使用中です";
// The tooltip while another program holds the board for itself: what
// happened, what to do, and that the console connects by itself.
inline constexpr std::u16string_view kHeldByOtherTip =
    u"ボードは見つかりましたが、他のプログラムが使用中のため開けません。"
    u"ボードを使っている他のプログラムを閉じてください。"
    u"そのプログラムがボードを手放せば、再起動せずに自動でつながります。";
inline constexpr std::u16string_view kCopyAllHistory = u"受信履歴をすべてコピー(&H)";

// "VID:0x04D8 / PID:0x003F"
std::u16string Connected(int nVid, int nPid);

// The status label's tooltip while the board is there but this user may
// not open it: what happened, how to fix it, and that no restart is needed.
std::u16string NotPermittedTip(const hid::AccessFacts& facts);

// The standard-error line (without its line break) for the board at `path`
// that this user may not open.
std::string NotPermittedLog(const std::u16string& path, const hid::AccessFacts& facts);

// The status label's tooltip while a board is there whose reader ends as
// soon as it is opened: what happens, and that the console keeps trying,
// at most `longestWaitS` seconds apart.
std::u16string UnreadableTip(int longestWaitS);
std::u16string UnreadableTip();  // with the console's own back-off

// The standard-error line (without its line break) when the board at
// `path` starts being held off, for `firstWaitMs` at first.
std::string UnreadableLog(const std::u16string& path, int firstWaitMs, int longestWaitS);
// The standard-error line (without its line break) for the board at `path`
// that another program holds for itself.
std::string HeldByOtherLog(const std::u16string& path);

}  // namespace texts

// The status label's text, and its tooltip with the fix `facts` name, while
// the board is present but this user may not open it.
std::u16string PermissionDeniedStatus();
std::u16string PermissionDeniedTip(const hid::AccessFacts& facts);
