#include "console_texts.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "codepage.h"
#include "reopen_backoff.h"
#include "resources.h"
#include "utf16.h"

namespace texts {

namespace {

// The facts are UTF-8.
std::u16string FromUtf8(const std::string& s)
{
    return hid::DecodeText(reinterpret_cast<const std::uint8_t*>(s.data()), s.size(), "UTF-8");
}

std::u16string JoinFolders(const std::vector<std::string>& folders, std::u16string_view glue)
{
    std::u16string out;
    for (const std::string& folder : folders) {
        if (!out.empty())
            out += glue;
        out += FromUtf8(folder);
    }
    return out;
}

// How to install the rule: "udev 規則 70-wendrel.rules を入れ(パッケージまたは
// ... が ... に入れます)、ボードを挿し直すか「...」を実行してください。"
std::u16string RuleTip(const hid::AccessFacts& facts)
{
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on a
    // literal added to a temporary string.
    std::u16string tip;
    if (!facts.ruleService.empty()) {
        tip += FromUtf8(facts.ruleService);
        tip += u" ";
    }
    tip += u"規則 ";
    tip += FromUtf8(facts.ruleFile);
    tip += u" を入れ(パッケージ";
    if (!facts.installCommand.empty()) {
        tip += u"または ";
        tip += FromUtf8(facts.installCommand);
        tip += u" ";
    }
    tip += u"が";
    if (!facts.ruleFolders.empty()) {
        tip += u" ";
        tip += JoinFolders(facts.ruleFolders, u" か ");
        tip += u" に";
    }
    tip += u"入れます)、";
    if (facts.applyCommand.empty()) {
        tip += u"ボードを挿し直してください。";
    } else {
        tip += u"ボードを挿し直すか「";
        tip += FromUtf8(facts.applyCommand);
        tip += u"」を実行してください。";
    }
    return tip;
}

std::string RuleLog(const hid::AccessFacts& facts)
{
    std::string log = "install the ";
    if (!facts.ruleService.empty())
        log += facts.ruleService + " ";
    log += "rule " + facts.ruleFile + " (the package ";
    if (!facts.installCommand.empty())
        log += "or " + facts.installCommand + " ";
    log += "does), then replug the board";
    if (!facts.applyCommand.empty())
        log += " or run " + facts.applyCommand;
    return log;
}

}  // namespace

std::u16string SaveFailed(const std::u16string& path, const std::u16string& reason)
{
    return res::LoadString(res::IDS_SAVE_FAILED) + u"\n\n" + path + u"\n\n" + reason;
}

std::u16string SendFailed(hid::SendResult result)
{
    std::u16string reason;
    switch (result) {
    case hid::SendResult::NoBoard:
        reason = u"未接続";
        break;
    case hid::SendResult::NoOutput:
        reason = u"出力なし";
        break;
    case hid::SendResult::Refused:
        reason = u"拒否";
        break;
    case hid::SendResult::TimedOut:
        reason = u"時間切れ";
        break;
    case hid::SendResult::QueueFull:
        reason = u"満杯";
        break;
    case hid::SendResult::Written:
    case hid::SendResult::Pending:
        return {};
    }
    std::u16string text(kSendFailed);
    text += u": ";
    return text + reason;
}

std::u16string SendFailedTip(hid::SendResult result)
{
    std::u16string tip(kSendFailed);
    tip += u"。";
    switch (result) {
    case hid::SendResult::NoBoard:
        return tip + u"ボードがつながっていません。";
    case hid::SendResult::NoOutput:
        return tip + u"このボードには出力レポートがありません。";
    case hid::SendResult::Refused:
        return tip + u"システムが書き込みを拒否しました。";
    case hid::SendResult::TimedOut:
        return tip + u"ボードが時間内にレポートを受け取りませんでした。";
    case hid::SendResult::QueueFull:
        return tip + u"ボードがレポートを受け取らなくなり、送信待ちがいっぱいです。";
    case hid::SendResult::Written:
    case hid::SendResult::Pending:
        break;
    }
    return {};
}

std::string SendFailedLog(const std::u16string& line, hid::SendResult result)
{
    return "wendrel: \"" + text::ToUtf8(line) + "\" was not sent: " + hid::Describe(result);
}

std::u16string LineCutTip(int units)
{
    std::u16string tip = u"ボードのレポートに収まるよう、入力行を ";
    tip += text::Widen(std::to_string(units));
    tip += u" 文字に切り詰めました。";
    return tip;
}

std::u16string NoteTip(const std::u16string& explanation, const std::u16string& status)
{
    std::u16string tip = explanation;
    if (!status.empty()) {
        tip += u"\n接続の状態: ";
        tip += status;
    }
    return tip;
}

std::u16string Connected(int nVid, int nPid)
{
    char status[40];
    std::snprintf(status, sizeof status, "VID:0x%04X / PID:0x%04X", static_cast<unsigned>(nVid),
                  static_cast<unsigned>(nPid));
    return text::Widen(status);
}

std::u16string NotPermittedTip(const hid::AccessFacts& facts)
{
    std::u16string tip = u"ボードは見つかりましたが、開く権限がありません。";
    if (!facts.ruleFile.empty())
        tip += RuleTip(facts);
    if (facts.refusedWhileHeld)
        tip += u"ほかのプログラムがボードを使っていないか確かめてください。";
    return tip + u"権限が得られれば、再起動せずにつながります。";
}

std::string NotPermittedLog(const std::u16string& path, const hid::AccessFacts& facts)
{
    std::string advice;
    if (!facts.ruleFile.empty())
        advice = RuleLog(facts);
    if (facts.refusedWhileHeld)
        advice += (advice.empty() ? "" : "; ") + std::string("check that no other program holds the board");
    return "wendrel: the board at " + text::ToUtf8(path) +
           " was found but this user may not open it" + (advice.empty() ? "" : ": " + advice);
}

std::u16string UnreadableTip(int longestWaitS)
{
    std::u16string tip = u"ボードは見つかりましたが、開くとすぐに読み取れなくなります。";
    tip += u"間隔をあけて(長くても ";
    tip += text::Widen(std::to_string(longestWaitS));
    tip += u" 秒ごとに)開き直し、読み取れるようになればつながります。";
    return tip;
}

std::u16string UnreadableTip()
{
    return UnreadableTip(static_cast<int>(
        std::chrono::duration_cast<std::chrono::seconds>(CReopenBackoff::kLongestWait).count()));
}

std::string UnreadableLog(const std::u16string& path, int firstWaitMs, int longestWaitS)
{
    // Tenths by hand: the locale's decimal point is not the log's.
    char wait[96];
    std::snprintf(wait, sizeof wait, "trying again in %d.%d s, then less often (every %d s at most)",
                  firstWaitMs / 1000, firstWaitMs % 1000 / 100, longestWaitS);
    return "wendrel: the board at " + text::ToUtf8(path) +
           " stops being readable as soon as it is opened: " + wait;
}

std::string HeldByOtherLog(const std::u16string& path)
{
    return "wendrel: the board at " + text::ToUtf8(path) +
           " was found but another program holds it: close that program, and the board"
           " connects once it lets go";
}

std::u16string CannotWatchTip(const std::string& reason)
{
    std::u16string tip = u"ボードの抜き差しを見張るスレッドを作れません";
    if (!reason.empty()) {
        tip += u"(";
        tip += FromUtf8(reason);
        tip += u")";
    }
    tip += u"。自動でやり直し、作れればボードを探し始めます。";
    return tip;
}

std::string CannotWatchLog(const std::string& reason)
{
    return "wendrel: cannot watch for boards: no thread could be made (" + reason +
           "); trying again";
}

}  // namespace texts

std::u16string PermissionDeniedStatus()
{
    return std::u16string(texts::kNotPermitted);
}

std::u16string PermissionDeniedTip(const hid::AccessFacts& facts)
{
    return texts::NotPermittedTip(facts);
}
