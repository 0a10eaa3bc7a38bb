// The window contract: the history box's bytes and events views. The
// console formats them into rows; what each window must do is keep its
// view and selection through the switch, and find and copy what it shows.
#include "window_contract_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "test_zone.h"

namespace contract_test {

namespace {

const std::u16string kShowBytes = u"16進表示(&X)";
const std::u16string kShowEvents = u"接続と送信を表示(&E)";

// "row 1" .. "row 40", each report with a zero byte and an "x" after it.
std::u16string HexRows(int first, int last)
{
    std::u16string text;
    for (int i = first; i <= last; ++i) {
        text += i > first ? u"\r\n" : u"";
        text += u"72 6F 77 20";
        for (char c : std::to_string(i))
            text += u" 3" + std::u16string(1, static_cast<char16_t>(c));
        text += u" 00 78";
    }
    return text;
}

}  // namespace

// Both entries are checked entries, off at the start, beside the times.
TEST_F(WindowContract, ViewEntriesAreChecksOffAtTheStart)
{
    RunConsole([&] {
        const std::vector<std::u16string> menu = d.ContextMenu("history", u"");
        const auto times = std::find(menu.begin(), menu.end(), kShowTimes);
        ASSERT_NE(times, menu.end()) << ::testing::PrintToString(menu);
        ASSERT_LT(times + 2, menu.end());
        EXPECT_EQ(*(times + 1), kShowBytes);
        EXPECT_EQ(*(times + 2), kShowEvents);
        EXPECT_FALSE(d.ContextChecked("history", kShowBytes));
        EXPECT_FALSE(d.ContextChecked("history", kShowEvents));
    });
}

// Scrolled up with a row selected: the bytes come in place of the text
// and go again, the view and the selection where they were; find and the
// copies see what the box shows.
TEST_F(WindowContract, BytesKeepTheViewAndGoWithFindAndCopies)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        for (int i = 1; i <= 40; ++i)
            Push("row " + std::to_string(i) + std::string("\0x", 2));
        ASSERT_TRUE(Shows(u"row 40"));
        d.Press("history", Key::PageUp);
        const std::u16string text = d.Text("history");
        const int at = static_cast<int>(text.find(u"row 30"));
        d.Select("history", at, at + 6);
        const contract::RowsInSight view = d.RowsShown("history");
        ASSERT_LT(view.last, 39);

        d.ContextMenu("history", kShowBytes);
        EXPECT_TRUE(d.ContextChecked("history", kShowBytes));
        EXPECT_EQ(d.Text("history"), HexRows(1, 40));
        EXPECT_EQ(d.RowsShown("history").first, view.first);
        EXPECT_EQ(d.RowsShown("history").last, view.last);
        d.ClearClipboard();
        d.ContextMenu("history", kCopyAll);
        EXPECT_EQ(Unix(d.Clipboard()), Unix(HexRows(1, 40)) + u"\n");

        d.Press("history", Key::CtrlF);
        ASSERT_TRUE(d.WaitUntil([&] { return d.FindShown(); }));
        d.Find(u"35 00 78", false, true);
        EXPECT_EQ(Selected("history"), u"35 00 78");
        d.PressInFind(Key::Escape);
        ASSERT_TRUE(d.WaitUntil([&] { return !d.FindShown(); }));

        const int first = d.RowsShown("history").first;
        d.ContextMenu("history", kShowBytes);
        EXPECT_FALSE(d.ContextChecked("history", kShowBytes));
        EXPECT_EQ(d.Text("history"), Rows(u"row ", 1, 40));
        EXPECT_EQ(d.RowsShown("history").first, first);
    });
}

// The connection and a line sent stand among the rows once shown, with
// their times; the copies and find have them, and the screenshots of both
// views with times are taken here.
TEST_F(WindowContract, EventsStandAmongTheRowsAndGoWithFindAndCopies)
{
    UseZoneNineHoursEast();
    dlg->clockMs = kNewYear2027Ms;
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(Send("row ", 1, 3));
        dlg->clockMs = kNewYear2027Ms + 1500;
        // Sent, however slow the machine: the wait is the send's, not the
        // test's.
        dlg->Device().SetSendWaitMs(60000);
        d.Type("input", u"hello");
        d.Press("input", Key::Enter);
        ASSERT_TRUE(board->WaitWritten(kPath, 1));
        dlg->clockMs = kNewYear2027Ms + 1520;
        ASSERT_TRUE(Send("hello", 0, 0));
        EXPECT_EQ(d.Text("history"), u"row 1\r\nrow 2\r\nrow 3\r\nhello0");

        d.ContextMenu("history", kShowEvents);
        EXPECT_TRUE(d.ContextChecked("history", kShowEvents));
        const std::u16string shown =
            u"── 接続しました ──\r\nrow 1\r\nrow 2\r\nrow 3\r\n→ hello\r\nhello0";
        EXPECT_EQ(d.Text("history"), shown);
        d.ClearClipboard();
        d.ContextMenu("history", kCopyAll);
        EXPECT_EQ(Unix(d.Clipboard()), Unix(shown) + u"\n");
        d.Press("history", Key::CtrlF);
        ASSERT_TRUE(d.WaitUntil([&] { return d.FindShown(); }));
        d.Find(u"→ hello", false, true);
        EXPECT_EQ(Selected("history"), u"→ hello");
        d.PressInFind(Key::Escape);
        ASSERT_TRUE(d.WaitUntil([&] { return !d.FindShown(); }));

        d.ContextMenu("history", kShowTimes);
        EXPECT_EQ(LastRow(d.Text("history")), u"09:00:01.520  hello0");
        d.Screenshot("history-events");
        d.ContextMenu("history", kShowEvents);
        d.ContextMenu("history", kShowBytes);
        EXPECT_EQ(LastRow(d.Text("history")), u"09:00:01.520  68 65 6C 6C 6F 30");
        d.Screenshot("history-bytes");
    });
}

// Over a full ring, each switch is one update of the box with every row,
// both ways; what it takes is printed, not judged.
TEST_F(WindowContract, SwitchingAFullRingIsOneUpdate)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(SendMany("row ", 1, 1000));
        for (const std::u16string& entry : {kShowBytes, kShowEvents, kShowTimes}) {
            for (const bool on : {true, false}) {
                const int updates = d.RowUpdates();
                const auto start = std::chrono::steady_clock::now();
                d.ContextMenu("history", entry);
                d.ProcessEvents();
                const double ms = std::chrono::duration<double, std::milli>(
                                      std::chrono::steady_clock::now() - start).count();
                EXPECT_EQ(d.RowUpdates() - updates, 1);
                EXPECT_EQ(d.ContextChecked("history", entry), on);
                std::printf("switching %s %s over 1000 rows: %.1f ms (menu included)\n",
                            entry == kShowBytes ? "bytes" : entry == kShowEvents ? "events" : "times",
                            on ? "on" : "off", ms);
            }
        }
        EXPECT_EQ(LastRow(d.Text("history")), u"row 1000");
    });
}

}  // namespace contract_test
