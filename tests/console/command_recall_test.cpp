// Lines sent, brought back with Up and Down: the list's own rules, and the
// console that fills it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "command_recall.h"
#include "console_fixture.h"

using namespace console_test;

namespace {

// A key and what the input line shows afterwards; `type` replaces the
// line first, as the user's typing would.
struct Step {
    const char* key;  // "up", "down", "send"
    std::u16string type;
    std::u16string shows;
};

struct RecallCase {
    const char* name;
    std::vector<std::u16string> sent;
    std::vector<Step> steps;
};

class CommandRecallTest : public ::testing::TestWithParam<RecallCase> {};

TEST_P(CommandRecallTest, UpAndDownWalkTheSentLines)
{
    CCommandRecall recall;
    for (const std::u16string& line : GetParam().sent)
        recall.Sent(line);
    std::u16string line;
    int n = 0;
    for (const Step& step : GetParam().steps) {
        if (!step.type.empty())
            line = step.type;
        const std::string key = step.key;
        if (key == "send") {
            recall.Sent(line);
            line.clear();
        } else if (const auto shown = recall.Recall(key == "up", line)) {
            line = *shown;
        }
        EXPECT_EQ(line, step.shows) << "step " << n << " (" << key << ")";
        ++n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Recall, CommandRecallTest,
    ::testing::Values(
        RecallCase{"NothingSentNothingRecalled", {}, {{"up", u"typed", u"typed"}, {"down", {}, u"typed"}}},
        RecallCase{"UpToTheOldestAndStays",
                   {u"a", u"b", u"c"},
                   {{"up", {}, u"c"}, {"up", {}, u"b"}, {"up", {}, u"a"}, {"up", {}, u"a"}}},
        RecallCase{"DownPastTheNewestBringsBackTheTypedLine",
                   {u"a", u"b"},
                   {{"up", u"half", u"b"}, {"up", {}, u"a"}, {"down", {}, u"b"},
                    {"down", {}, u"half"}, {"down", {}, u"half"}}},
        RecallCase{"ALineSentTwiceInARowIsKeptOnce",
                   {u"a", u"b", u"b", u"a"},
                   {{"up", {}, u"a"}, {"up", {}, u"b"}, {"up", {}, u"a"}, {"up", {}, u"a"}}},
        RecallCase{"EmptyLinesAreNotKept", {u"a", u"", u""}, {{"up", {}, u"a"}, {"up", {}, u"a"}}},
        RecallCase{"AnEditKeepsUntilALineIsSent",
                   {u"a", u"b"},
                   {{"up", {}, u"b"}, {"up", u"b2", u"a"}, {"down", {}, u"b2"},
                    {"send", {}, u""}, {"up", {}, u"b2"}, {"up", {}, u"b"}, {"up", {}, u"a"}}},
        RecallCase{"SendingARecalledLineMakesItTheNewest",
                   {u"a", u"b"},
                   {{"up", {}, u"b"}, {"up", {}, u"a"}, {"send", {}, u""}, {"up", {}, u"a"},
                    {"up", {}, u"b"}, {"up", {}, u"a"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandRecall, KeepsTheNewestHundred)
{
    CCommandRecall recall;
    for (int i = 1; i <= 150; ++i)
        recall.Sent(u"line " + Number(i));
    EXPECT_EQ(recall.Size(), 100u);
    std::u16string line;
    for (int i = 0; i < 200; ++i)
        if (const auto shown = recall.Recall(true, line))
            line = *shown;
    EXPECT_EQ(line, u"line 51");
}

// The console fills the list from the input line on Enter, connected or
// not; the Boot button's "Boot" is not a typed line.
TEST_F(ConsoleTest, EnterFillsTheRecallAndBootDoesNot)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        w.Type(res::IDC_SEND_TEXT, u"offline");
        w.Click(res::IDOK);
        // Not sent, so still there: the user empties it.
        ASSERT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"offline");
        w.text[res::IDC_SEND_TEXT].clear();
        board->Plug(Board(kPathA));
        w.Tick();
        w.Type(res::IDC_SEND_TEXT, u"status");
        w.Click(res::IDOK);
        ASSERT_TRUE(board->WaitWritten(kPathA, 1));
        w.Type(res::IDC_SEND_TEXT, u"draft");
        w.Click(res::IDC_BOOT);
        ASSERT_TRUE(board->WaitWritten(kPathA, 2));

        w.PressRecall(res::IDC_SEND_TEXT, true);
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"status");
        w.PressRecall(res::IDC_SEND_TEXT, true);
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"offline");
        w.PressRecall(res::IDC_SEND_TEXT, false);
        w.PressRecall(res::IDC_SEND_TEXT, false);
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"draft");

        // Sent again from the recall, it is sent as typed.
        w.PressRecall(res::IDC_SEND_TEXT, true);
        w.Click(res::IDOK);
        ASSERT_TRUE(board->WaitWritten(kPathA, 3));
        hid::test::Report expected(65, 0);
        const std::string status = "status";
        std::copy(status.begin(), status.end(), expected.begin() + 1);
        EXPECT_EQ(board->Written(kPathA).back(), expected);
    });
}

}  // namespace
