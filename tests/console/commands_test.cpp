// What the user does: Enter and the Boot button, the input line's limits,
// the window menu's About box, the minimised icon, the dialog units.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>


#include "console_fixture.h"

using namespace console_test;

namespace {

// --- commands ---

// While connected, each command sends one whole report and keeps the
// window: Enter the typed line, which it empties; Boot "Boot", leaving the
// typed line as it is.
struct CommandCase {
    const char* name;
    int button;
    std::string payload;  // the report's text; zeros follow
    std::u16string lineAfter;
};

class CommandTest : public ConsoleTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CommandTest, SendsOneReportWhileConnected)
{
    const CommandCase& c = GetParam();
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        w.Tick();
        w.Type(res::IDC_SEND_TEXT, u"abc");
        w.Click(c.button);

        ASSERT_TRUE(board->WaitWritten(kPathA, 1));
        hid::test::Report expected(65, 0);
        std::copy(c.payload.begin(), c.payload.end(), expected.begin() + 1);
        EXPECT_EQ(board->Written(kPathA), std::vector<hid::test::Report>{expected});
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), c.lineAfter);
        EXPECT_FALSE(w.ended.has_value());
    });
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandTest,
                         ::testing::Values(CommandCase{"Enter", res::IDOK, "abc", u""},
                                           CommandCase{"Boot", res::IDC_BOOT, "Boot", u"abc"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConsoleTest, EnterWhileDisconnectedKeepsTheLineAndSaysSo)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        w.Type(res::IDC_SEND_TEXT, u"abc");
        w.Click(res::IDOK);
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"abc");
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), u"送信できませんでした: 未接続");
        EXPECT_EQ(w.beeps, 1);
        EXPECT_FALSE(w.ended.has_value());
    });
}

TEST_F(ConsoleTest, CancelEndsTheModalRun)
{
    Run([&](FakeWindow& w) { w.Click(res::IDCANCEL); });
    EXPECT_EQ(ws.created, std::vector<int>{res::IDD_WENDREL_DIALOG});
}

TEST_F(ConsoleTest, BootWhileDisconnectedSaysSoAndLeavesTheLine)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        w.Type(res::IDC_SEND_TEXT, u"abc");
        const int lineSets = w.Sets(res::IDC_SEND_TEXT);
        w.Click(res::IDC_BOOT);
        EXPECT_EQ(w.Sets(res::IDC_SEND_TEXT), lineSets);
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"abc");
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), u"送信できませんでした: 未接続");
        EXPECT_EQ(w.beeps, 1);
        EXPECT_FALSE(w.ended.has_value());
    });
}

// --- the input line ---

struct FitCase {
    const char* name;
    hid::ReportLengths lengths;  // {0, 0}: no board
    std::u16string typed;
    int taken;
};

class InputLimitTest : public ConsoleTest, public ::testing::WithParamInterface<FitCase> {};

TEST_P(InputLimitTest, RefusesWhatCannotBeSent)
{
    const FitCase& c = GetParam();
    Run([&](FakeWindow& w) {
        if (c.lengths.output) {
            board->Plug(Board(kPathA, c.lengths));
            w.Tick();
            ASSERT_EQ(dlg->m_bConnected, 1);
        }
        EXPECT_EQ(w.Type(res::IDC_SEND_TEXT, c.typed), c.taken);
    });
}

// Under the Japanese locale set above the board's code page is 932: a kana
// costs two bytes, and 31 of them and the terminator fill 64 bytes.
INSTANTIATE_TEST_SUITE_P(
    Cases, InputLimitTest,
    ::testing::Values(
        FitCase{"DisconnectedRefusesThe64th", {0, 0}, std::u16string(64, u'a'), 63},
        FitCase{"ConnectedRefusesThe64th", {65, 65}, std::u16string(64, u'a'), 63},
        FitCase{"DisconnectedTakesAnyKana", {0, 0}, std::u16string(40, u'あ'), 40},
        FitCase{"KanaStopAtThePayload", {65, 65}, std::u16string(40, u'あ'), 31},
        FitCase{"SmallReportStopsEarly", {65, 9}, u"12345678", 7},
        FitCase{"SmallReportKanaStopsEarly", {65, 9}, u"ああああ", 3},
        FitCase{"OutsideTheCodePageRefused", {65, 65}, u"ab한c", 2},
        FitCase{"OutsideTheCodePageRefusedDisconnected", {0, 0}, u"ab€", 2}),
    [](const auto& info) { return std::string(info.param.name); });


// --- window menu, About box, minimised painting ---

TEST_F(ConsoleTest, WindowMenuEndsWithTheAboutEntry)
{
    Run([&](FakeWindow& w) {
        ASSERT_EQ(w.menu.size(), 2u);
        EXPECT_EQ(std::get<0>(w.menu[0]), wsys::MenuItem::Separator);
        EXPECT_EQ(w.menu[1], std::make_tuple(wsys::MenuItem::Text, 0x0010,
                                             std::u16string(u"バージョン情報 Wendrel(&A)...")));
    });
}

TEST_F(ConsoleTest, AboutEntryRunsTheAboutBoxModally)
{
    bool aboutRan = false;
    ws.script[res::IDD_ABOUTBOX] = [&](FakeWindow& about) {
        aboutRan = true;
        about.Click(res::IDOK);
    };
    Run([&](FakeWindow& w) {
        w.ChooseMenu(0x0010);
        EXPECT_TRUE(aboutRan);
        w.ChooseMenu(0x0013);  // the low four bits belong to the system
        w.ChooseMenu(0x0020);
        EXPECT_FALSE(w.ended.has_value());
    });
    EXPECT_EQ(ws.created, (std::vector<int>{102, 100, 100}));
}

TEST_F(ConsoleTest, PaintsTheIconOnlyWhenMinimised)
{
    Run([&](FakeWindow& w) {
        w.Paint();
        EXPECT_TRUE(w.draws.empty());
        w.iconic = true;
        w.client = {160, 28};
        w.Paint();
        EXPECT_EQ(w.draws, (std::vector<std::tuple<int, int, wsys::IconHandle>>{
                               {64, -1, ws.Icon()}}));
    });
}

}  // namespace
