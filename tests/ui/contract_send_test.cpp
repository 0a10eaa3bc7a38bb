// The window contract: the input line is the user's through every change
// of the link, a send that did not happen says so and keeps the line, and
// a line meets the board's report before it goes.
#include "window_contract_fixture.h"

namespace contract_test {

namespace {

const std::u16string kNotSent = u"送信できませんでした: 未接続";
const std::u16string kCut = u"入力行を切り詰めました";
const std::u16string kKana40(40, u'あ');
const std::u16string kKana31(31, u'あ');

bool Contains(const std::u16string& text, const std::u16string& part)
{
    return text.find(part) != std::u16string::npos;
}

}  // namespace

TEST_F(WindowContract, TypedTextOutlivesConnectAndDisconnect)
{
    RunConsole([&] {
        ASSERT_TRUE(d.WaitUntil([&] { return d.Text("status") == kDisconnected; }));
        d.Focus("input");
        d.Type("input", u"typed");
        ASSERT_TRUE(Connect());
        EXPECT_EQ(d.Text("input"), u"typed");
        d.Type("input", u" on");
        board->Unplug(kPath);
        ASSERT_TRUE(d.WaitUntil([&] { return d.Text("status") == kDisconnected; }));
        EXPECT_EQ(d.Text("input"), u"typed on");
    });
}

TEST_F(WindowContract, ALineNotSentStaysAndTheLabelSaysWhy)
{
    RunConsole([&] {
        ASSERT_TRUE(d.WaitUntil([&] { return d.Text("status") == kDisconnected; }));
        d.Focus("input");
        d.Type("input", u"abc");
        d.Press("input", Key::Enter);
        EXPECT_EQ(d.Text("input"), u"abc");
        EXPECT_EQ(d.Text("status"), kNotSent);
        // The link state, hidden on the label for a while, is on its tip.
        EXPECT_TRUE(Contains(d.ToolTip("status"), kDisconnected));
        d.Screenshot("not-sent");

        // Kept for recall too.
        d.Select("input", 0, 3);
        d.Type("input", u"z");
        d.Press("input", Key::Up);
        EXPECT_EQ(d.Text("input"), u"abc");

        // A new state ends the note at once.
        ASSERT_TRUE(Connect());
        EXPECT_EQ(d.ToolTip("status"), u"");
        EXPECT_EQ(d.Text("input"), u"abc");
    });
}

// A write the board never takes: the line empties while it waits, and
// comes back, the caret after it, once the write fails.
TEST_F(WindowContract, ALineWhoseWriteFailsLateComesBack)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        dlg->Device().SetSendWaitMs(0);
        board->SetWriteStalls(true);
        d.Focus("input");
        d.Type("input", u"late");
        d.Press("input", Key::Enter);
        ASSERT_TRUE(d.WaitUntil([&] { return board->StalledWrites() == 1; }));
        EXPECT_EQ(d.Text("input"), u"");
        board->SetWriteFails(true);
        board->SetWriteTimesOut(true);
        board->SetWriteStalls(false);
        ASSERT_TRUE(d.WaitUntil([&] { return d.Text("input") == u"late"; }));
        EXPECT_EQ(d.Selection("input"), std::make_pair(4, 4)) << "the caret at the end";
        EXPECT_EQ(d.Text("status"), u"送信できませんでした: 時間切れ");
        EXPECT_TRUE(Contains(d.ToolTip("status"), kConnected));
    });
}

TEST_F(WindowContract, ALineTypedWithoutABoardIsCutToTheBoardsReport)
{
    RunConsole([&] {
        ASSERT_TRUE(d.WaitUntil([&] { return d.Text("status") == kDisconnected; }));
        d.Focus("input");
        d.Type("input", kKana40);
        ASSERT_EQ(d.Text("input"), kKana40);
        board->Plug(console_test::Board(kPath));
        ASSERT_TRUE(d.WaitUntil([&] { return d.Text("status") == kCut; }));
        EXPECT_EQ(d.Text("input"), kKana31);
        EXPECT_EQ(d.Selection("input"), std::make_pair(31, 31)) << "the caret at the end";
        EXPECT_TRUE(Contains(d.ToolTip("status"), kConnected));
        d.Screenshot("cut-at-connect");
    });
}

TEST_F(WindowContract, ARecalledLineIsCutToTheBoardsReport)
{
    RunConsole([&] {
        ASSERT_TRUE(d.WaitUntil([&] { return d.Text("status") == kDisconnected; }));
        d.Focus("input");
        d.Type("input", kKana40);
        d.Press("input", Key::Enter);  // not sent: kept, and recalled
        d.Select("input", 0, 40);
        d.Type("input", u"z");
        ASSERT_TRUE(Connect());
        d.Focus("input");
        d.Press("input", Key::Up);
        EXPECT_EQ(d.Text("input"), kKana31);
        EXPECT_EQ(d.Selection("input"), std::make_pair(31, 31)) << "the cursor at the end";
        EXPECT_EQ(d.Text("status"), kCut);

        d.Press("input", Key::Enter);
        ASSERT_TRUE(board->WaitWritten(kPath, 1));
        const hid::test::Report report = board->Written(kPath).at(0);
        // 31 kana of two bytes each, and the terminator.
        EXPECT_EQ(report[61], 0x82);
        EXPECT_EQ(report[62], 0xA0);
        EXPECT_EQ(report[63], 0);
        EXPECT_TRUE(d.WaitUntil([&] { return d.Text("input").empty(); }));
    });
}

}  // namespace contract_test
