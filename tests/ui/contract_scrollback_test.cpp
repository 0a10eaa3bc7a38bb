// The window contract: the history box's scrollback. It follows the newest
// row while its view is at the bottom; scrolled up, the rows in view stay
// in view while rows come and the oldest leave the ring; back at the
// bottom it follows again. Clearing the history follows again too.
#include "window_contract_fixture.h"

#include <string>
#include <vector>

namespace contract_test {

namespace {

std::vector<std::u16string> Split(const std::u16string& text)
{
    std::vector<std::u16string> rows;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find(u"\r\n", at)) != std::u16string::npos; at = end + 2)
        rows.push_back(text.substr(at, end - at));
    rows.push_back(text.substr(at));
    return rows;
}

// The rows wholly in sight, by their texts.
std::vector<std::u16string> InSight(const char* control)
{
    const contract::RowsInSight shown = Driver().RowsShown(control);
    const std::vector<std::u16string> rows = Split(Driver().Text(control));
    if (shown.first < 0)
        return {};
    return {rows.begin() + shown.first, rows.begin() + shown.last + 1};
}

}  // namespace

TEST_F(WindowContract, ScrollBarShowsOnceTheRowsOutnumberTheView)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(Send("row ", 1, 18));
        EXPECT_FALSE(d.HasScrollBar("history"));
        ASSERT_TRUE(Send("row ", 19, 19));
        EXPECT_TRUE(d.HasScrollBar("history"));
        EXPECT_EQ(d.RowsShown("history").last, 18);
    });
}

// Every way up keeps the view while rows come and the oldest go; every way
// down to the bottom follows again. Five rows came meanwhile, so the way
// down goes that much further than the way up.
struct ScrollCase {
    const char* name;
    std::function<void(contract::CDriver&)> up;
    std::function<void(contract::CDriver&)> down;
};

using ScrollTest = ConsoleTable<ScrollCase>;

TEST_P(ScrollTest, ScrolledUpTheViewStaysAndAtTheBottomItFollows)
{
    const ScrollCase& c = GetParam();
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(SendMany("row ", 1, 1000));
        d.Focus("history");
        c.up(d);
        const std::vector<std::u16string> view = InSight("history");
        ASSERT_FALSE(view.empty());
        ASSERT_NE(view.back(), u"row 1000") << "not scrolled up";

        // A selection in view, too, stays.
        const std::u16string text = d.Text("history");
        const int at = static_cast<int>(text.find(view[1] + u"\r\n"));
        d.Select("history", at, at + static_cast<int>(view[1].size()));

        // Rows come at the bottom and leave the full ring at the top.
        ASSERT_TRUE(Send("row ", 1001, 1005));
        EXPECT_EQ(d.Text("history").substr(0, 8), u"row 6\r\nr");
        EXPECT_EQ(InSight("history"), view);
        EXPECT_EQ(Selected("history"), view[1]);

        c.down(d);
        ASSERT_TRUE(Send("row ", 1006, 1007));
        EXPECT_EQ(InSight("history").back(), u"row 1007");
        EXPECT_EQ(Selected("history"), view[1]);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Console, ScrollTest,
    ::testing::Values(
        ScrollCase{"Wheel", [](contract::CDriver& d) { d.Wheel("history", 2); },
                   [](contract::CDriver& d) { d.Wheel("history", -4); }},
        ScrollCase{"Page", [](contract::CDriver& d) { d.Press("history", Key::PageUp); },
                   [](contract::CDriver& d) {
                       for (int i = 0; i < 2; ++i)
                           d.Press("history", Key::PageDown);
                   }},
        ScrollCase{"UpAndDown",
                   [](contract::CDriver& d) {
                       for (int i = 0; i < 3; ++i)
                           d.Press("history", Key::Up);
                   },
                   [](contract::CDriver& d) {
                       for (int i = 0; i < 8; ++i)
                           d.Press("history", Key::Down);
                   }},
        ScrollCase{"UpAndEnd", [](contract::CDriver& d) { d.Press("history", Key::Up); },
                   [](contract::CDriver& d) { d.Press("history", Key::End); }},
        ScrollCase{"CtrlHomeAndCtrlEnd",
                   [](contract::CDriver& d) {
                       // Off the top, where rows are about to leave.
                       d.Press("history", Key::CtrlHome);
                       for (int i = 0; i < 20; ++i)
                           d.Press("history", Key::Down);
                   },
                   [](contract::CDriver& d) { d.Press("history", Key::CtrlEnd); }},
        ScrollCase{"ScrollBar", [](contract::CDriver& d) { d.DragScrollBar("history", 500); },
                   [](contract::CDriver& d) { d.DragScrollBar("history", 1000); }}),
    CaseName<ScrollCase>);

// Scrolled to the oldest rows, they leave the ring in view: the view keeps
// to the top rather than jump.
TEST_F(WindowContract, AtTheTopTheOldestRowsLeaveTheView)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(SendMany("row ", 1, 1000));
        d.Press("history", Key::CtrlHome);
        ASSERT_EQ(InSight("history").front(), u"row 1");
        ASSERT_TRUE(Send("row ", 1001, 1003));
        EXPECT_EQ(InSight("history").front(), u"row 4");
        EXPECT_EQ(d.RowsShown("history").first, 0);
    });
}

TEST_F(WindowContract, ClearingTheHistoryFollowsAgain)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(Send("row ", 1, 40));
        d.Press("history", Key::PageUp);
        ASSERT_NE(InSight("history").back(), u"row 40");

        d.ContextMenu("history", kClear);
        EXPECT_EQ(d.Text("history"), u"");
        EXPECT_FALSE(d.HasScrollBar("history"));
        ASSERT_TRUE(Send("new ", 1, 30));
        EXPECT_EQ(d.Text("history"), Rows(u"new ", 1, 30));
        EXPECT_EQ(InSight("history").back(), u"new 30");
    });
}

}  // namespace contract_test
