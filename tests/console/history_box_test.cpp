// The history box on the console's side: every stored row, rows that leave
// the ring taken from the top, arrival times shown or not, clearing, and
// the box's context menu.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "console_fixture.h"
#include "test_zone.h"

using namespace console_test;

namespace {

const std::u16string kShowTimes = u"時刻を表示(&T)";
const std::u16string kClear = u"履歴を消去(&L)";
const std::u16string kCopyAll = u"受信履歴をすべてコピー(&H)";

class HistoryBoxTest : public ConsoleTest {
protected:
    void SetUp() override { UseZoneNineHoursEast(); }

    // The board sends `text`; true once the console has it (not yet shown:
    // the posted call waits for DrainPosts).
    bool Receive(const std::string& text)
    {
        const int before = dlg->received;
        board->PushInput(kPathA, InputReport(text));
        return WaitFor([&] { return dlg->received == before + 1; });
    }
    // "<prefix><first>" to "<prefix><last>", in batches the board's queue
    // holds, each batch shown.
    void ReceiveMany(FakeWindow& w, const std::string& prefix, int first, int last)
    {
        const int base = dlg->received - first + 1;
        for (int i = first; i <= last; ++i) {
            board->PushInput(kPathA, InputReport(prefix + std::to_string(i)));
            if (i % 50 == 0 || i == last) {
                ASSERT_TRUE(WaitFor([&] { return dlg->received == base + i; }));
                w.DrainPosts();
                w.TickTimer(res::IDT_FRAME);
                w.TickTimer(res::IDT_FRAME);
            }
        }
    }
    static std::vector<std::u16string> Rows(const std::u16string& prefix, int first, int last)
    {
        std::vector<std::u16string> rows;
        for (int i = first; i <= last; ++i)
            rows.push_back(prefix + Number(i));
        return rows;
    }
    static std::u16string Lines(const std::vector<std::u16string>& rows)
    {
        std::u16string text;
        for (const std::u16string& row : rows)
            text += row + u"\r\n";
        return text;
    }
    void Connect(FakeWindow& w)
    {
        board->Plug(Board(kPathA));
        w.Tick();
    }
};

TEST_F(HistoryBoxTest, ContextMenuEntriesInOrderTimesOff)
{
    Run([&](FakeWindow& w) {
        const std::vector<std::pair<int, std::u16string>> expected = {
            {res::IDM_SHOW_TIMES, kShowTimes},
            {res::IDM_SHOW_BYTES, u"16進表示(&X)"},
            {res::IDM_SHOW_EVENTS, u"接続と送信を表示(&E)"},
            {0, u"find"},
            {res::IDM_CLEAR_HISTORY, kClear},
            {-1, kCopyAll},
            {res::IDM_SAVE_HISTORY, u"名前を付けて保存(&S)..."},
        };
        EXPECT_EQ(w.context[res::IDC_HISTORY], expected);
        EXPECT_FALSE(w.checked.at(res::IDM_SHOW_TIMES));
        EXPECT_FALSE(w.checked.at(res::IDM_SHOW_BYTES));
        EXPECT_FALSE(w.checked.at(res::IDM_SHOW_EVENTS));
        EXPECT_EQ(w.context.count(res::IDC_SEND_TEXT), 0u);
    });
}

// The box holds the whole ring; once it is full, each row that comes takes
// the oldest away at the top, in place: the box is never given every row
// again.
TEST_F(HistoryBoxTest, BoxHoldsTheRingAndLosesItsOldestAtTheTop)
{
    Run([&](FakeWindow& w) {
        Connect(w);
        ReceiveMany(w, "L", 1, 1000);
        EXPECT_EQ(w.rows[res::IDC_HISTORY], Rows(u"L", 1, 1000));

        ReceiveMany(w, "L", 1001, 1003);
        const wsys::RowChange& last = w.lastChange[res::IDC_HISTORY];
        EXPECT_FALSE(last.replace);
        EXPECT_EQ(last.removed, 3u);
        EXPECT_EQ(last.added, Rows(u"L", 1001, 1003));
        EXPECT_EQ(w.rows[res::IDC_HISTORY], Rows(u"L", 4, 1003));
        EXPECT_EQ(w.copyAll[res::IDC_HISTORY](), Lines(Rows(u"L", 4, 1003)));
    });
}

// A row's time is the one it arrived at, whenever it is drawn, and every
// row shows it once times are on, earlier rows too; the copies hold what
// the box shows.
TEST_F(HistoryBoxTest, TimesAreTheArrivalsAndShowOnEveryRow)
{
    Run([&](FakeWindow& w) {
        Connect(w);
        dlg->clockMs = kNewYear2027Ms + 123;
        ASSERT_TRUE(Receive("first"));
        dlg->clockMs = kNewYear2027Ms + 5 * 1000 + 4;
        ASSERT_TRUE(Receive("second"));
        // Drawn later: the times stay those of the arrivals.
        dlg->clockMs = kNewYear2027Ms + 3600 * 1000;
        w.DrainPosts();
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), u"first\r\nsecond");

        w.Click(res::IDM_SHOW_TIMES);
        EXPECT_TRUE(w.checked[res::IDM_SHOW_TIMES]);
        const std::u16string shown = u"09:00:00.123  first\r\n09:00:05.004  second";
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), shown);
        EXPECT_TRUE(w.lastChange[res::IDC_HISTORY].restyle);
        EXPECT_EQ(w.copyAll[res::IDC_HISTORY](), shown + u"\r\n");

        // Past midnight, local time.
        dlg->clockMs = kNewYear2027Ms + 15 * 3600 * 1000 + 7;
        w.TickTimer(res::IDT_FRAME);
        ASSERT_TRUE(Receive("third"));
        w.DrainPosts();
        EXPECT_EQ(LastRow(w.GetItemText(res::IDC_HISTORY)), u"00:00:00.007  third");

        w.Click(res::IDM_SHOW_TIMES);
        EXPECT_FALSE(w.checked[res::IDM_SHOW_TIMES]);
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), u"first\r\nsecond\r\nthird");
        EXPECT_EQ(w.copyAll[res::IDC_HISTORY](), u"first\r\nsecond\r\nthird\r\n");
    });
}

// Turned on while rows wait to be drawn, and over a full ring that has
// lost rows the box still shows: the box first catches up, then every row
// it then shows is restyled, as many as it shows.
TEST_F(HistoryBoxTest, TimesTurnedOnWhileRowsWait)
{
    Run([&](FakeWindow& w) {
        Connect(w);
        dlg->clockMs = kNewYear2027Ms;
        ReceiveMany(w, "L", 1, 1000);
        ASSERT_TRUE(Receive("L1001"));
        ASSERT_TRUE(Receive("L1002"));
        const int sets = w.Sets(res::IDC_HISTORY);

        w.Click(res::IDM_SHOW_TIMES);
        EXPECT_EQ(w.Sets(res::IDC_HISTORY) - sets, 2);
        const std::vector<std::u16string>& rows = w.rows[res::IDC_HISTORY];
        ASSERT_EQ(rows.size(), 1000u);
        EXPECT_EQ(rows.front(), u"09:00:00.000  L3");
        EXPECT_EQ(rows.back(), u"09:00:00.000  L1002");
        const wsys::RowChange& last = w.lastChange[res::IDC_HISTORY];
        EXPECT_TRUE(last.replace && last.restyle);
        EXPECT_EQ(last.added.size(), 1000u);

        // The posted call that was waiting finds nothing left to show.
        w.DrainPosts();
        EXPECT_EQ(w.Sets(res::IDC_HISTORY) - sets, 2);
    });
}

// Clearing empties the ring and the box, rows waiting to be drawn too;
// rows that come afterwards show as usual.
TEST_F(HistoryBoxTest, ClearEmptiesTheRingAndTheBox)
{
    Run([&](FakeWindow& w) {
        Connect(w);
        ReceiveMany(w, "L", 1, 1200);
        ASSERT_TRUE(Receive("waiting"));

        w.Click(res::IDM_CLEAR_HISTORY);
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), u"");
        EXPECT_TRUE(w.lastChange[res::IDC_HISTORY].replace);
        EXPECT_EQ(w.copyAll[res::IDC_HISTORY](), u"");
        w.DrainPosts();
        w.TickTimer(res::IDT_FRAME);
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), u"");

        // Twice is as once.
        const int sets = w.Sets(res::IDC_HISTORY);
        w.Click(res::IDM_CLEAR_HISTORY);
        EXPECT_EQ(w.Sets(res::IDC_HISTORY), sets);

        ReceiveMany(w, "M", 1, 3);
        EXPECT_EQ(w.rows[res::IDC_HISTORY], Rows(u"M", 1, 3));
        EXPECT_EQ(w.copyAll[res::IDC_HISTORY](), Lines(Rows(u"M", 1, 3)));
    });
}

// The box of a second run of the dialog starts with every stored row, in
// the way the first left them.
TEST_F(HistoryBoxTest, ANewWindowShowsTheStoredRowsAsTheLastOneDid)
{
    dlg->clockMs = kNewYear2027Ms;
    Run([&](FakeWindow& w) {
        Connect(w);
        ReceiveMany(w, "L", 1, 2);
        w.Click(res::IDM_SHOW_TIMES);
        w.Click(res::IDCANCEL);
    });
    Run([&](FakeWindow& w) {
        EXPECT_TRUE(w.checked[res::IDM_SHOW_TIMES]);
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), u"09:00:00.000  L1\r\n09:00:00.000  L2");
        w.Click(res::IDCANCEL);
    });
}

}  // namespace
