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
#include "send_result.h"

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
// While the console cannot make the threads that look for the board.
inline constexpr std::u16string_view kCannotWatch = u"ボードを監視できません";
inline constexpr std::u16string_view kCopyAllHistory = u"受信履歴をすべてコピー(&H)";
// Events among the received rows.
inline constexpr std::u16string_view kEventConnected = u"── 接続しました ──";
inline constexpr std::u16string_view kEventDisconnected = u"── 切断されました ──";
// A line sent: this and the line; Boot: this and "Boot".
inline constexpr std::u16string_view kEventSent = u"→ ";
// A line that could not be sent: between these two.
inline constexpr std::u16string_view kEventNotSent = u"── 送信できませんでした: ";
inline constexpr std::u16string_view kEventNotSentEnd = u" ──";

// The message when the history could not be saved to `path`, with the
// system's `reason`.
std::u16string SaveFailed(const std::u16string& path, const std::u16string& reason);

// On the status label for a few seconds, where a send did not happen or
// the input line was cut to fit the board's report.
inline constexpr std::u16string_view kSendFailed = u"送信できませんでした";
inline constexpr std::u16string_view kLineCut = u"入力行を切り詰めました";

// "送信できませんでした: 時間切れ": the reason in a word or two, short
// enough for the label's room beside the buttons.
std::u16string SendFailed(hid::SendResult result);
// The status label's tooltip meanwhile: the reason in a sentence.
std::u16string SendFailedTip(hid::SendResult result);
// The standard-error line (without its line break) for `line` not sent.
std::string SendFailedLog(const std::u16string& line, hid::SendResult result);
// The tooltip while kLineCut shows: the input line now holds `units`.
std::u16string LineCutTip(int units);
// A note's tooltip, `explanation` followed by where the link stands, which
// the note hides on the label.
std::u16string NoteTip(const std::u16string& explanation, const std::u16string& status);

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

// The status label's tooltip, and the standard-error line (without its
// line break), while no thread can be made to look for the board, for the
// system's `reason`.
std::u16string CannotWatchTip(const std::string& reason);
std::string CannotWatchLog(const std::string& reason);

}  // namespace texts

// The status label's text, and its tooltip with the fix `facts` name, while
// the board is present but this user may not open it.
std::u16string PermissionDeniedStatus();
std::u16string PermissionDeniedTip(const hid::AccessFacts& facts);
