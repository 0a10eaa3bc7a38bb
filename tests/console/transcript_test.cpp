// The history box's views through the console: the bytes of what the board
// sent, and the console's own events (connected, sent, not sent, Boot,
// disconnected) among the rows, with their times.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_fixture.h"
#include "test_zone.h"

using namespace console_test;

namespace {

class TranscriptTest : public ConsoleTest {
protected:
    void SetUp() override
    {
        UseZoneNineHoursEast();
        dlg->clockMs = kNewYear2027Ms;
        // A send counts as sent however slow the machine.
        dlg->Device().SetSendWaitMs(60000);
    }

    bool Receive(FakeWindow& w, const hid::test::Report& report)
    {
        const int before = dlg->received;
        board->PushInput(kPathA, report);
        if (!WaitFor([&] { return dlg->received == before + 1; }))
            return false;
        w.DrainPosts();
        w.TickTimer(res::IDT_FRAME);
        return true;
    }
    // A line not sent stays in the input line: each send starts afresh.
    void Send(FakeWindow& w, const std::u16string& line)
    {
        w.SetItemText(res::IDC_SEND_TEXT, u"");
        w.Type(res::IDC_SEND_TEXT, line);
        w.Click(res::IDOK);
    }
};

// The reader hands over the bytes as the board sent them; the box shows
// them, or the text, at the click of the entry, copies included.
TEST_F(TranscriptTest, BytesAreTheReportsAsSent)
{
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        w.Tick();
        ASSERT_TRUE(Receive(w, InputReport("Hi")));
        ASSERT_TRUE(Receive(w, InputReport(std::string("Hi\0x", 4))));
        ASSERT_TRUE(Receive(w, InputReport("\x1b[1m")));
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), u"Hi\r\nHi\r\n\u241b[1m");

        w.Click(res::IDM_SHOW_BYTES);
        EXPECT_TRUE(w.checked[res::IDM_SHOW_BYTES]);
        EXPECT_TRUE(w.lastChange[res::IDC_HISTORY].restyle);
        const std::u16string hex = u"48 69\r\n48 69 00 78\r\n1B 5B 31 6D";
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), hex);
        EXPECT_EQ(w.copyAll[res::IDC_HISTORY](), hex + u"\r\n");

        w.Click(res::IDM_SHOW_TIMES);
        EXPECT_EQ(LastRow(w.GetItemText(res::IDC_HISTORY)), u"09:00:00.000  1B 5B 31 6D");

        w.Click(res::IDM_SHOW_BYTES);
        EXPECT_FALSE(w.checked[res::IDM_SHOW_BYTES]);
        EXPECT_EQ(LastRow(w.GetItemText(res::IDC_HISTORY)), u"09:00:00.000  \u241b[1m");
    });
}

// Every event is recorded whether shown or not; shown, each stands where
// it happened, its time first while times are shown. Idle and refusals on
// the label are no events; the rows that count as received are the same.
TEST_F(TranscriptTest, EventsAreRecordedAndShownInOrder)
{
    Run([&](FakeWindow& w) {
        w.Tick();  // no board: nothing was connected, nothing went
        board->Plug(Board(kPathA));
        w.Tick();
        w.Tick();
        dlg->clockMs = kNewYear2027Ms + 1000;
        Send(w, u"abc");
        ASSERT_TRUE(board->WaitWritten(kPathA, 1));
        ASSERT_TRUE(Receive(w, InputReport("ok")));
        dlg->clockMs = kNewYear2027Ms + 2000;
        w.Click(res::IDC_BOOT);
        ASSERT_TRUE(board->WaitWritten(kPathA, 2));
        board->SetWriteFails(true);
        Send(w, u"lost");
        board->SetWriteFails(false);
        dlg->clockMs = kNewYear2027Ms + 3000;
        board->Unplug(kPathA);
        w.Tick();
        ASSERT_EQ(w.GetItemText(res::IDC_STATUS), kDisconnected);
        Send(w, u"nobody");
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), u"ok");
        const int rowsBefore = dlg->received;

        w.Click(res::IDM_SHOW_EVENTS);
        EXPECT_TRUE(w.checked[res::IDM_SHOW_EVENTS]);
        const std::vector<std::u16string> events = {
            u"── 接続しました ──",
            u"→ abc",
            u"ok",
            u"→ Boot",
            u"── 送信できませんでした: lost ──",
            u"── 切断されました ──",
            u"── 送信できませんでした: nobody ──",
        };
        EXPECT_EQ(w.rows[res::IDC_HISTORY], events);
        EXPECT_EQ(w.copyAll[res::IDC_HISTORY](), wsys::JoinRows(events, u"\r\n") + u"\r\n");

        w.Click(res::IDM_SHOW_TIMES);
        const std::vector<std::u16string>& rows = w.rows[res::IDC_HISTORY];
        ASSERT_EQ(rows.size(), events.size());
        EXPECT_EQ(rows[0], u"09:00:00.000  ── 接続しました ──");
        EXPECT_EQ(rows[1], u"09:00:01.000  → abc");
        EXPECT_EQ(rows[3], u"09:00:02.000  → Boot");
        EXPECT_EQ(rows[5], u"09:00:03.000  ── 切断されました ──");

        // Shown, a new event comes at once, at the bottom.
        board->Plug(Board(kPathA));
        w.Tick();
        EXPECT_EQ(LastRow(w.GetItemText(res::IDC_HISTORY)), u"09:00:03.000  ── 接続しました ──");
        EXPECT_EQ(dlg->received, rowsBefore);

        // Off again: the received rows alone.
        w.Click(res::IDM_SHOW_EVENTS);
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), u"09:00:01.000  ok");
        w.Click(res::IDM_CLEAR_HISTORY);
        w.Click(res::IDM_SHOW_EVENTS);
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), u"");
    });
}

}  // namespace
