// The console's words around the platform's facts: a refused open is
// explained from what grants access on the system at hand, and nothing
// but those facts names a system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_texts.h"
#include "utf16.h"

namespace {

const std::u16string kPath = u"/dev/hidraw0";

struct FactsCase {
    const char* name;
    hid::AccessFacts facts;
    std::vector<std::u16string> tipHas;
    std::vector<std::string> logHas;
    std::vector<std::string> logLacks;
};

// Invented names: whatever the texts name must come from the facts.
const hid::AccessFacts kRuleFacts{.ruleService = "rulesd",
                                  .ruleFile = "50-board.rules",
                                  .ruleFolders = {"/a/rules", "/b/rules"},
                                  .installCommand = "make install-rule",
                                  .applyCommand = "rulesd --reload"};
const hid::AccessFacts kRuleFileOnly{.ruleFile = "50-board.rules"};
const hid::AccessFacts kHeldLooksAlike{.refusedWhileHeld = true};

class NotPermittedText : public testing::TestWithParam<FactsCase> {};

TEST_P(NotPermittedText, ExplainsFromTheFactsAlone)
{
    const FactsCase& c = GetParam();
    const std::u16string tip = texts::NotPermittedTip(c.facts);
    const std::string log = texts::NotPermittedLog(kPath, c.facts);

    // What happened first, and that no restart is needed last.
    EXPECT_EQ(tip.rfind(u"ボードは見つかりましたが、開く権限がありません。", 0), 0u)
        << text::ToUtf8(tip);
    const std::u16string end = u"権限が得られれば、再起動せずにつながります。";
    ASSERT_GE(tip.size(), end.size());
    EXPECT_EQ(tip.substr(tip.size() - end.size()), end);
    for (const std::u16string& part : c.tipHas)
        EXPECT_NE(tip.find(part), std::u16string::npos) << text::ToUtf8(part);

    EXPECT_EQ(log.rfind("wendrel: the board at /dev/hidraw0 was found but this user may not open it",
                        0),
              0u)
        << log;
    EXPECT_EQ(log.find('\n'), std::string::npos) << "one line, its break added by the caller";
    for (const std::string& part : c.logHas)
        EXPECT_NE(log.find(part), std::string::npos) << part << " in " << log;
    for (const std::string& part : c.logLacks)
        EXPECT_EQ(log.find(part), std::string::npos) << part << " in " << log;

    // The console's own words name no system.
    for (const char* system : {"udev", "Linux", "Windows", "hidraw "}) {
        EXPECT_EQ(log.find(system), std::string::npos) << log;
        EXPECT_EQ(text::ToUtf8(tip).find(system), std::string::npos) << text::ToUtf8(tip);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, NotPermittedText,
    testing::Values(
        FactsCase{"RuleWithEveryFact",
                  kRuleFacts,
                  {u"rulesd 規則 50-board.rules", u"make install-rule", u"/a/rules か /b/rules",
                   u"「rulesd --reload」"},
                  {": install the rulesd rule 50-board.rules", "make install-rule",
                   "then replug the board or run rulesd --reload"},
                  {"other program"}},
        FactsCase{"RuleFileAlone",
                  kRuleFileOnly,
                  {u"規則 50-board.rules", u"ボードを挿し直してください。"},
                  {": install the rule 50-board.rules (the package does), then replug the board"},
                  {" or run", "other program"}},
        FactsCase{"RefusedWhileHeld",
                  kHeldLooksAlike,
                  {u"ほかのプログラムがボードを使っていないか確かめてください。"},
                  {": check that no other program holds the board"},
                  {"rule"}},
        FactsCase{"NoFacts", hid::AccessFacts{}, {}, {}, {"open it:", "rule", "other program"}}),
    [](const auto& info) { return info.param.name; });

// The path goes to standard error whole, whatever it holds.
TEST(NotPermittedLog, KeepsTheWholePathAsUtf8)
{
    const std::string log =
        texts::NotPermittedLog(u"\\\\?\\hid#vid_04d8&pid_003f#ボード", hid::AccessFacts{});
    EXPECT_NE(log.find("\\\\?\\hid#vid_04d8&pid_003f#\xE3\x83\x9C\xE3\x83\xBC\xE3\x83\x89 was"),
              std::string::npos)
        << log;
    // A lone surrogate becomes U+FFFD rather than a broken byte.
    const std::string lone = texts::NotPermittedLog(u"/dev/x\xD800y", hid::AccessFacts{});
    EXPECT_NE(lone.find("/dev/x\xEF\xBF\xBDy was"), std::string::npos) << lone;
}

// A board whose reader keeps ending at once: what happens and how often it
// is tried, in the console's own words alone.
TEST(UnreadableText, SaysHowOftenItIsTriedAndNamesNoSystem)
{
    const std::u16string tip = texts::UnreadableTip(8);
    EXPECT_NE(tip.find(u"長くても 8 秒ごとに"), std::u16string::npos) << text::ToUtf8(tip);
    const std::string log = texts::UnreadableLog(kPath, 500, 8);
    EXPECT_EQ(log, "wendrel: the board at /dev/hidraw0 stops being readable as soon as it is "
                   "opened: trying again in 0.5 s, then less often (every 8 s at most)");
    for (const char* system : {"udev", "Linux", "Windows", "hidraw "}) {
        EXPECT_EQ(log.find(system), std::string::npos) << log;
        EXPECT_EQ(text::ToUtf8(tip).find(system), std::string::npos) << text::ToUtf8(tip);
    }
}

// A board another program holds needs no fact of the system: the words say
// what happened, what to do, and that the console connects by itself.
TEST(HeldByOtherText, SaysWhatToDoAndNamesNoSystem)
{
    EXPECT_EQ(texts::kHeldByOther, u"他のプログラムが使用中です");
    const std::u16string tip(texts::kHeldByOtherTip);
    for (const std::u16string part :
         {u"他のプログラムが使用中", u"閉じてください", u"自動でつながります"})
        EXPECT_NE(tip.find(part), std::u16string::npos) << text::ToUtf8(part);

    const std::string log = texts::HeldByOtherLog(kPath);
    EXPECT_EQ(
        log.rfind("wendrel: the board at /dev/hidraw0 was found but another program holds it", 0),
        0u)
        << log;
    EXPECT_NE(log.find("close that program"), std::string::npos) << log;
    EXPECT_EQ(log.find('\n'), std::string::npos) << log;
    for (const char* system : {"udev", "Linux", "Windows", "hidraw "}) {
        EXPECT_EQ(log.find(system), std::string::npos) << log;
        EXPECT_EQ(text::ToUtf8(tip).find(system), std::string::npos) << text::ToUtf8(tip);
    }
}

TEST(ConnectedStatus, IsVidAndPidInUpperCaseHex)
{
    EXPECT_EQ(texts::Connected(0x04D8, 0x003F), u"VID:0x04D8 / PID:0x003F");
    EXPECT_EQ(texts::Connected(0xabcd, 0x1), u"VID:0xABCD / PID:0x0001");
}

}  // namespace
