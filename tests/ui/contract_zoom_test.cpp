// The window contract: the history box's zoom. Its keys and Ctrl+wheel
// change the size of the box's font in steps, within bounds, and Ctrl+0
// returns to the dialog's; only the rows in view change. A box that
// follows the newest row still does after a zoom; a scrolled one keeps
// its first row.
#include "window_contract_fixture.h"

#include <string>

namespace contract_test {

namespace {

int RowsInView(const char* control)
{
    const contract::RowsInSight shown = Driver().RowsShown(control);
    return shown.first < 0 ? 0 : shown.last - shown.first + 1;
}

// The row of a box's text at `row`, 0 the oldest.
std::u16string RowAt(const std::u16string& text, int row)
{
    std::size_t at = 0;
    for (int i = 0; i < row; ++i)
        at = text.find(u"\r\n", at) + 2;
    return text.substr(at, text.find(u"\r\n", at) - at);
}

}  // namespace

struct ZoomKeyCase {
    const char* name;
    Key key;
    int sign;  // bigger (1) or smaller (-1)
};

using ZoomKeyTest = ConsoleTable<ZoomKeyCase>;

TEST_P(ZoomKeyTest, EachKeyStepsTheFontAndCtrl0ReturnsToTheDialogs)
{
    const ZoomKeyCase& c = GetParam();
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(Send("row ", 1, 60));
        d.Focus("history");
        const int points = d.FontPoints("history");
        const int rows = RowsInView("history");
        ASSERT_GT(points, 0);
        ASSERT_EQ(rows, 18);

        d.Press("history", c.key);
        d.Press("history", c.key);
        const int zoomed = d.FontPoints("history");
        std::printf("%s: %d pt -> %d pt, rows in view %d -> %d\n", c.name, points, zoomed, rows,
                    RowsInView("history"));
        EXPECT_EQ(zoomed > points ? 1 : zoomed < points ? -1 : 0, c.sign);
        if (c.sign > 0)
            EXPECT_LT(RowsInView("history"), rows);
        else
            EXPECT_GT(RowsInView("history"), rows);
        // The dialog stays as it is: the input line keeps its font.
        EXPECT_EQ(d.FontPoints("input"), points);
        // Still the newest row at the bottom.
        EXPECT_EQ(d.RowsShown("history").last, 59);

        d.Press("history", Key::Ctrl0);
        EXPECT_EQ(d.FontPoints("history"), points);
        EXPECT_EQ(RowsInView("history"), rows);
        EXPECT_EQ(d.RowsShown("history").last, 59);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Console, ZoomKeyTest,
    ::testing::Values(ZoomKeyCase{"CtrlPlus", Key::CtrlPlus, 1},
                      ZoomKeyCase{"CtrlShiftPlus", Key::CtrlShiftPlus, 1},
                      ZoomKeyCase{"CtrlKeypadPlus", Key::CtrlKeypadPlus, 1},
                      ZoomKeyCase{"CtrlMinus", Key::CtrlMinus, -1},
                      ZoomKeyCase{"CtrlKeypadMinus", Key::CtrlKeypadMinus, -1}),
    CaseName<ZoomKeyCase>);

TEST_F(WindowContract, ZoomStopsAtItsBoundsAndCtrlWheelSteps)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(Send("row ", 1, 30));
        d.Focus("history");
        const int points = d.FontPoints("history");
        for (int i = 0; i < 25; ++i)
            d.Press("history", Key::CtrlPlus);
        const int largest = d.FontPoints("history");
        for (int i = 0; i < 40; ++i)
            d.Press("history", Key::CtrlMinus);
        const int smallest = d.FontPoints("history");
        std::printf("dialog %d pt, largest %d pt, smallest %d pt\n", points, largest, smallest);
        EXPECT_GE(largest, 34);
        EXPECT_LE(largest, 36);
        EXPECT_GE(smallest, 6);
        EXPECT_LE(smallest, 7);
        EXPECT_EQ(d.RowsShown("history").last, 29);

        // A notch of the wheel is a step; the wheel alone still scrolls.
        d.Press("history", Key::Ctrl0);
        d.CtrlWheel("history", 1);
        const int up = d.FontPoints("history");
        EXPECT_GT(up, points);
        d.CtrlWheel("history", -2);
        EXPECT_LT(d.FontPoints("history"), points);
        EXPECT_EQ(d.RowsShown("history").last, 29);
        d.Wheel("history", 2);
        EXPECT_LT(d.RowsShown("history").last, 29);
        EXPECT_LT(d.FontPoints("history"), points);
    });
}

// Zoomed while it follows, the box goes on following; zoomed while
// scrolled up, the row first in view stays first, as rows come and go.
TEST_F(WindowContract, ZoomKeepsFollowingOrTheFirstRowInView)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(SendMany("row ", 1, 1000));
        d.Focus("history");
        d.Press("history", Key::CtrlPlus);
        d.Press("history", Key::CtrlPlus);
        ASSERT_TRUE(Send("row ", 1001, 1003));
        EXPECT_EQ(LastRow(d.Text("history")), u"row 1003");
        EXPECT_EQ(d.RowsShown("history").last, 999);
        d.Press("history", Key::Ctrl0);
        d.Press("history", Key::CtrlMinus);
        EXPECT_EQ(d.RowsShown("history").last, 999);

        d.Press("history", Key::PageUp);
        d.Press("history", Key::PageUp);
        const int first = d.RowsShown("history").first;
        const std::u16string firstRow = RowAt(d.Text("history"), first);
        ASSERT_LT(d.RowsShown("history").last, 999);
        for (const Key key : {Key::CtrlPlus, Key::CtrlPlus, Key::CtrlPlus, Key::Ctrl0,
                              Key::CtrlKeypadMinus}) {
            d.Press("history", key);
            EXPECT_EQ(RowAt(d.Text("history"), d.RowsShown("history").first), firstRow);
        }
        // Rows come and the oldest go: the view stays on its rows.
        ASSERT_TRUE(Send("row ", 1004, 1008));
        EXPECT_EQ(RowAt(d.Text("history"), d.RowsShown("history").first), firstRow);
        // Back at the bottom it follows, at the zoom's size.
        d.Press("history", Key::CtrlEnd);
        ASSERT_TRUE(Send("row ", 1009, 1009));
        EXPECT_EQ(d.RowsShown("history").last, 999);
    });
}

}  // namespace contract_test
