// The window contract: the history box's context menu, arrival times
// shown and hidden on every row, and what the copies hold.
#include "window_contract_fixture.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "test_zone.h"

namespace contract_test {

// After the toolkit's own entries, a separator and the box's six, in
// this order; the window menu's entries, where they are on this menu,
// after another separator.
TEST_F(WindowContract, HistoryMenuHasItsEntriesInOrder)
{
    RunConsole([&] {
        const std::vector<std::u16string> menu = d.ContextMenu("history", u"");
        const std::vector<std::u16string> own = {kShowTimes, u"16進表示(&X)",
                                                 u"接続と送信を表示(&E)", kFind, kClear,
                                                 kCopyAll, kSaveAs};
        const auto at = std::search(menu.begin(), menu.end(), own.begin(), own.end());
        ASSERT_NE(at, menu.end()) << ::testing::PrintToString(menu);
        ASSERT_GE(at - menu.begin(), 2) << "the toolkit's own entries first";
        EXPECT_EQ(*(at - 1), u"");
        const auto after = at + static_cast<std::ptrdiff_t>(own.size());
        EXPECT_TRUE(after == menu.end() || *after == u"");
        EXPECT_FALSE(d.ContextChecked("history", kShowTimes));
    });
}

// Each row shows the time it arrived at, earlier rows too, once times are
// on; the view, a selection and the copies go with it.
TEST_F(WindowContract, TimesShowOnEveryRowAndGoWithTheCopies)
{
    UseZoneNineHoursEast();
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        // Each row in its own second: the clock moves once the console has
        // the row before.
        for (int i = 1; i <= 40; ++i) {
            dlg->clockMs = kNewYear2027Ms + i * 1001;
            Push("row " + std::to_string(i));
            ASSERT_TRUE(WaitWithoutEvents([&] { return dlg->received == i; }));
        }
        ASSERT_TRUE(Shows(u"row 40"));
        d.Press("history", Key::PageUp);
        const std::u16string text = d.Text("history");
        const int at = static_cast<int>(text.find(u"row 30\r\n"));
        d.Select("history", at, at + 6);
        const contract::RowsInSight view = d.RowsShown("history");
        ASSERT_LT(view.last, 39);

        d.ContextMenu("history", kShowTimes);
        EXPECT_TRUE(d.ContextChecked("history", kShowTimes));
        std::u16string shown;
        for (int i = 1; i <= 40; ++i) {
            const int ms = i * 1001;
            char time[16];
            std::snprintf(time, sizeof time, "09:00:%02d.%03d", ms / 1000, ms % 1000);
            shown += (i > 1 ? u"\r\n" : u"") + U(time) + u"  row " + U(std::to_string(i));
        }
        EXPECT_EQ(d.Text("history"), shown);
        EXPECT_EQ(d.RowsShown("history").first, view.first);
        EXPECT_EQ(d.RowsShown("history").last, view.last);
        EXPECT_EQ(Selected("history"), u"row 30");

        d.ClearClipboard();
        d.ContextMenu("history", kCopyAll);
        EXPECT_EQ(Unix(d.Clipboard()), Unix(shown) + u"\n");
        const int row = static_cast<int>(shown.find(u"09:00:05.005"));
        d.Select("history", row, row + 19);
        d.ClearClipboard();
        d.Press("history", Key::CopySelection);
        EXPECT_EQ(d.Clipboard(), u"09:00:05.005  row 5");

        // Off again: the rows as they came, the view where it was.
        const int first = d.RowsShown("history").first;
        d.ContextMenu("history", kShowTimes);
        EXPECT_FALSE(d.ContextChecked("history", kShowTimes));
        EXPECT_EQ(d.Text("history"), Rows(u"row ", 1, 40));
        EXPECT_EQ(d.RowsShown("history").first, first);
        EXPECT_EQ(Selected("history"), u"row 5");
    });
}

// Following, the box keeps following when times come and go.
TEST_F(WindowContract, TimesKeepTheBoxFollowing)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(Send("row ", 1, 40));
        d.ContextMenu("history", kShowTimes);
        Push("row 41");
        Push("row 42");
        ASSERT_TRUE(d.WaitUntil([&] {
            const std::u16string last = LastRow(d.Text("history"));
            return last.size() > 8 && last.substr(last.size() - 8) == u"  row 42";
        }));
        EXPECT_EQ(d.RowsShown("history").last, 41);
        d.Screenshot("history-times");
    });
}

}  // namespace contract_test
