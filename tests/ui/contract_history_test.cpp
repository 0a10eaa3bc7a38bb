// The window contract: the history box, fed by the console, and rows
// updated in place on a plain window.
#include "window_contract_fixture.h"

#include <algorithm>

namespace contract_test {

// --- the history box ---

TEST_F(WindowContract, HistoryHoldsEveryRowWithTheNewestEighteenInSight)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(Send("line ", 1, 10));
        // Fewer rows than fit: from the first row at the top.
        EXPECT_EQ(d.Text("history"), Rows(u"line ", 1, 10));
        contract::RowsInSight shown = d.RowsShown("history");
        EXPECT_EQ(shown.first, 0);
        EXPECT_EQ(shown.last, 9);

        ASSERT_TRUE(Send("line ", 11, 25));
        EXPECT_EQ(d.Text("history"), Rows(u"line ", 1, 25));
        shown = d.RowsShown("history");
        EXPECT_EQ(shown.first, 7);
        EXPECT_EQ(shown.last, 24);
    });
}

TEST_F(WindowContract, DeviceTextIsShownLiterally)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        Push("<b>x</b> &amp; <a href=x>y</a>");
        ASSERT_TRUE(Shows(u"<b>x</b> &amp; <a href=x>y</a>"));
        EXPECT_EQ(d.Text("history"), u"<b>x</b> &amp; <a href=x>y</a>");
    });
}

TEST_F(WindowContract, BurstOfReportsCostsOneDisplayUpdate)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        const int before = d.RowUpdates();
        for (int i = 1; i <= 60; ++i)
            Push("burst " + std::to_string(i));
        ASSERT_TRUE(WaitWithoutEvents([&] { return dlg->received == 60; }));
        d.ProcessEvents();
        EXPECT_EQ(d.RowUpdates() - before, 1);
        EXPECT_EQ(LastRow(d.Text("history")), u"burst 60");
    });
}

// Firmware ends its lines with a break; each report is still one row, and
// the newest is in sight even where the font fits fewer rows.
struct BreakCase {
    const char* name;
    std::u16string ending;
    int rowsThatFit;
};

using LineBreakTest = ConsoleTable<BreakCase>;

TEST_P(LineBreakTest, ReportsEndingInALineBreakAreOneRowEach)
{
    const BreakCase& c = GetParam();
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        if (c.rowsThatFit < 18)
            d.Shrink("history", c.rowsThatFit, 18);
        for (int i = 1; i <= 25; ++i)
            Push(Cp932(u"line " + U(std::to_string(i)) + c.ending));
        ASSERT_TRUE(Shows(u"line 25"));
        EXPECT_EQ(d.Text("history"), Rows(u"line ", 1, 25));
        const contract::RowsInSight shown = d.RowsShown("history");
        EXPECT_EQ(shown.last, 24);
        if (c.rowsThatFit < 18)
            EXPECT_GT(shown.first, 7);
        else
            EXPECT_EQ(shown.first, 7);
        if (c.ending == u"\r\n" && c.rowsThatFit == 18)
            d.Screenshot("history-crlf", "history");
    });
}

INSTANTIATE_TEST_SUITE_P(Console, LineBreakTest,
                         ::testing::Values(BreakCase{"CRLF", u"\r\n", 18},
                                           BreakCase{"LF", u"\n", 18},
                                           BreakCase{"CR", u"\r", 18},
                                           BreakCase{"CRLFRoomForFiveRows", u"\r\n", 5}),
                         CaseName<BreakCase>);

TEST_F(WindowContract, SelectionSurvivesIncomingReports)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(SendMany("row ", 1, 997));

        // "row 5" to "row 6", selected by the user.
        const std::u16string text = d.Text("history");
        const int from = static_cast<int>(text.find(u"row 5\r\n"));
        const int to = static_cast<int>(text.find(u"row 6\r\n")) + 5;
        d.Select("history", from, to);
        const std::u16string selected = u"row 5\r\nrow 6";
        ASSERT_EQ(Selected("history"), selected);

        // The ring is full: three rows leave at the top; the selected ones
        // stay.
        ASSERT_TRUE(Send("row ", 998, 1003));
        EXPECT_EQ(d.Text("history").substr(0, 7), u"row 4\r\n");
        EXPECT_EQ(Selected("history"), selected);

        d.Focus("history");
        d.ClearClipboard();
        d.Press("history", Key::CopySelection);
        EXPECT_EQ(Unix(d.Clipboard()), u"row 5\nrow 6");

        // Once its rows are gone, so is the selection.
        ASSERT_TRUE(Send("row ", 1004, 1010));
        EXPECT_EQ(Selected("history").find(u"row 5"), std::u16string::npos);
    });
}

TEST_F(WindowContract, ContextMenuCopiesEveryStoredRow)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        for (int i = 1; i <= 1005; ++i)
            PushInBatches(Cp932(u"行 " + U(std::to_string(i)) + u"\r\n"));
        ASSERT_TRUE(Shows(u"行 1005"));

        // Only the history box has the entry.
        const std::vector<std::u16string> input = d.ContextMenu("input", u"");
        EXPECT_EQ(std::count(input.begin(), input.end(), kCopyAll), 0);
        d.ClearClipboard();
        const std::vector<std::u16string> box = d.ContextMenu("history", kCopyAll);
        EXPECT_EQ(std::count(box.begin(), box.end(), kCopyAll), 1);
        std::u16string expected;
        for (int i = 6; i <= 1005; ++i)
            expected += u"行 " + U(std::to_string(i)) + u"\n";
        EXPECT_EQ(Unix(d.Clipboard()), expected);
        // The box holds the same rows.
        EXPECT_EQ(Unix(d.Text("history")) + u"\n", expected);
    });
}

// Rows in place on a plain window: the newest in sight, and a selection
// following its rows.
TEST_F(PlainWindow, UpdateRowsKeepsTheNewestInSightAndASelection)
{
    using wsys::RowChange;
    Run([&] {
        // More rows than fit: the last one is in view.
        wnd->UpdateRows(res::IDC_HISTORY, RowChange{true, 0, RowList(u"row ", 10, 49)});
        EXPECT_EQ(wnd->GetItemText(res::IDC_HISTORY), Rows(u"row ", 10, 49));
        contract::RowsInSight shown = d.RowsShown("history");
        EXPECT_EQ(shown.last, 39);
        EXPECT_GT(shown.first, 0);

        // 18 rows fit: nothing scrolled.
        wnd->UpdateRows(res::IDC_HISTORY, RowChange{true, 0, RowList(u"row ", 10, 27)});
        shown = d.RowsShown("history");
        EXPECT_EQ(shown.first, 0);
        EXPECT_EQ(shown.last, 17);

        // A selection follows its text as rows leave at the top.
        const int at = static_cast<int>(Rows(u"row ", 10, 27).find(u"row 14"));
        d.Select("history", at, at + 6);
        wnd->UpdateRows(res::IDC_HISTORY, RowChange{false, 2, RowList(u"row ", 28, 29)});
        EXPECT_EQ(wnd->GetItemText(res::IDC_HISTORY), Rows(u"row ", 12, 29));
        EXPECT_EQ(Selected("history"), u"row 14");
        EXPECT_EQ(d.RowsShown("history").last, 17);
        // Once its rows have left, nothing is selected.
        wnd->UpdateRows(res::IDC_HISTORY, RowChange{false, 7, RowList(u"row ", 30, 36)});
        EXPECT_EQ(wnd->GetItemText(res::IDC_HISTORY), Rows(u"row ", 19, 36));
        EXPECT_EQ(Selected("history"), u"");

        // An empty row is a row.
        wnd->UpdateRows(res::IDC_HISTORY, RowChange{true, 0, {u""}});
        wnd->UpdateRows(res::IDC_HISTORY, RowChange{false, 0, {u"a"}});
        EXPECT_EQ(wnd->GetItemText(res::IDC_HISTORY), u"\r\na");
        wnd->UpdateRows(res::IDC_HISTORY, RowChange{false, 1, {u""}});
        EXPECT_EQ(wnd->GetItemText(res::IDC_HISTORY), u"a\r\n");
        wnd->UpdateRows(res::IDC_HISTORY, RowChange{true, 0, {}});
        EXPECT_EQ(wnd->GetItemText(res::IDC_HISTORY), u"");
    });
}

}  // namespace contract_test

namespace contract_test {

// Characters that some text controls take as the end of a paragraph
// (U+2029, and on Qt U+FDD0 and U+FDD1) stay inside their row: each row is
// one row of the box however many such rows come and go.
TEST_F(PlainWindow, RowsWithParagraphCharactersStayOneRowEach)
{
    using wsys::RowChange;
    const std::u16string odd = u"a\uFDD0b\uFDD1c\u2029d";
    Run([&] {
        wnd->UpdateRows(res::IDC_HISTORY, RowChange{true, 0, {odd, u"x"}});
        for (int i = 0; i < 40; ++i)
            wnd->UpdateRows(res::IDC_HISTORY, RowChange{false, 1, {odd + U(std::to_string(i))}});
        const std::u16string text = wnd->GetItemText(res::IDC_HISTORY);
        std::size_t rows = 1;
        for (std::size_t at = 0; (at = text.find(u"\r\n", at)) != std::u16string::npos; at += 2)
            ++rows;
        EXPECT_EQ(rows, 2u) << ::testing::PrintToString(text);
        // Each character keeps its place: the row's length is its own.
        EXPECT_EQ(LastRow(text).size(), odd.size() + 2);
        EXPECT_EQ(d.RowsShown("history").last, 1);
    });
}

}  // namespace contract_test
