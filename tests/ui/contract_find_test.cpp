// The window contract: finding text in the history box. Ctrl+F anywhere in
// the dialog, or the menu entry, opens the find window with the selected
// row's text; each search selects the next or previous match from the
// selection, wrapping around, and brings it into view, which stops
// following; F3 and Shift+F3 repeat it; a miss is said and changes
// nothing.
#include "window_contract_fixture.h"

#include <string>
#include <vector>

namespace contract_test {

namespace {

const std::u16string kNotFound = u"見つかりません";

// The rows the searches run over.
const char* const kRows[] = {"alpha 1", "Beta 2", "alpha 3", "ALPHA 4", "gamma 5"};

}  // namespace

// Named outside the anonymous namespace: the test classes derive from it.
class FindContract : public WindowContract {
protected:
    bool SendRows()
    {
        for (const char* row : kRows)
            Push(row);
        return Shows(u"gamma 5");
    }
    // The selected text and the row it is on (0 first), -1 for none.
    std::pair<std::u16string, int> Match()
    {
        const auto [from, to] = d.Selection("history");
        const std::u16string text = d.Text("history");
        int row = 0;
        for (std::size_t at = 0; (at = text.find(u"\r\n", at)) < std::size_t(from); at += 2)
            ++row;
        return {text.substr(from, to - from), from == to ? -1 : row};
    }
};

TEST_F(FindContract, CtrlFAnywhereOpensTheFindWindowWithTheSelectedRow)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(SendRows());
        const std::u16string text = d.Text("history");
        const int beta = static_cast<int>(text.find(u"Beta 2"));
        d.Select("history", beta, beta + 4);

        for (const char* from : {"input", "history", "send"}) {
            d.Press(from, Key::CtrlF);
            ASSERT_TRUE(d.WaitUntil([&] { return d.FindShown(); })) << from;
            EXPECT_EQ(d.FindField(), u"Beta") << from;
            d.PressInFind(Key::Escape);
            EXPECT_TRUE(d.WaitUntil([&] { return !d.FindShown(); })) << from;
        }

        // A selection over two rows is no search: the field keeps the last.
        d.Select("history", beta, beta + 12);
        d.ContextMenu("history", kFind);
        ASSERT_TRUE(d.WaitUntil([&] { return d.FindShown(); }));
        EXPECT_EQ(d.FindField(), u"Beta");
    });
}

// One search after another from the start of the box, each from the
// selection the last one left.
struct SearchCase {
    const char* name;
    std::u16string needle;
    bool matchCase;
    bool forward;
    std::vector<int> rows;  // the row of each match in turn; -1: a miss
};

using SearchTest = ::testing::WithParamInterface<SearchCase>;
class FindSearchContract : public FindContract, public SearchTest {};

TEST_P(FindSearchContract, SearchesWrapAroundFromTheSelection)
{
    const SearchCase& c = GetParam();
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(SendRows());
        d.Select("history", 0, 0);
        d.Press("input", Key::CtrlF);
        ASSERT_TRUE(d.WaitUntil([&] { return d.FindShown(); }));
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            const auto before = d.Selection("history");
            d.Find(c.needle, c.matchCase, c.forward);
            if (c.rows[i] < 0) {
                EXPECT_EQ(d.FindMessage(), kNotFound);
                EXPECT_EQ(d.Selection("history"), before) << "a miss selects nothing";
                continue;
            }
            const auto [selected, row] = Match();
            EXPECT_EQ(row, c.rows[i]) << "search " << i;
            EXPECT_EQ(selected.size(), c.needle.size()) << "search " << i;
            EXPECT_EQ(d.FindMessage(), u"") << "search " << i;
        }
    });
}

INSTANTIATE_TEST_SUITE_P(
    Console, FindSearchContract,
    ::testing::Values(SearchCase{"ForwardAnyCase", u"alpha", false, true, {0, 2, 3, 0}},
                      SearchCase{"ForwardMatchingCase", u"alpha", true, true, {0, 2, 0}},
                      SearchCase{"BackwardWrapsToTheLast", u"ALPHA", false, false, {3, 2, 0, 3}},
                      SearchCase{"OnlyMatchAgain", u"BETA", false, true, {1, 1}},
                      SearchCase{"Miss", u"delta", false, true, {-1, -1}},
                      SearchCase{"MissByCase", u"GAMMA", true, false, {-1}}),
    [](const auto& info) { return std::string(info.param.name); });

// F3 and Shift+F3 repeat the search, from the box and from the rest of
// the dialog.
TEST_F(FindContract, F3RepeatsForwardAndShiftF3Backward)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(SendRows());
        d.Select("history", 0, 0);
        // Before any search, F3 opens the find window.
        d.Press("history", Key::F3);
        ASSERT_TRUE(d.WaitUntil([&] { return d.FindShown(); }));
        d.Find(u"alpha", false, true);
        ASSERT_EQ(Match().second, 0);
        d.PressInFind(Key::Escape);
        ASSERT_TRUE(d.WaitUntil([&] { return !d.FindShown(); }));

        d.Press("history", Key::F3);
        EXPECT_EQ(Match().second, 2);
        d.Press("input", Key::F3);
        EXPECT_EQ(Match().second, 3);
        d.Press("history", Key::ShiftF3);
        EXPECT_EQ(Match().second, 2);
        d.Press("send", Key::ShiftF3);
        EXPECT_EQ(Match().second, 0);
        EXPECT_FALSE(d.FindShown());
    });
}

// A match is brought into view and the box stops following there, in a
// full ring, until the user goes back to the bottom.
TEST_F(FindContract, AMatchStaysInViewAsRowsCome)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(SendMany("row ", 1, 1000));
        d.Select("history", 0, 0);
        d.Press("history", Key::CtrlF);
        ASSERT_TRUE(d.WaitUntil([&] { return d.FindShown(); }));

        // Near the top of the ring, far out of view.
        d.Find(u"row 50", false, true);
        ASSERT_EQ(Match(), std::make_pair(std::u16string(u"row 50"), 49));
        contract::RowsInSight shown = d.RowsShown("history");
        EXPECT_TRUE(shown.first <= 49 && 49 <= shown.last);

        // Even a match at the bottom stops following.
        d.Find(u"row 1000", false, true);
        ASSERT_EQ(Match().second, 999);
        ASSERT_TRUE(Send("row ", 1001, 1004));
        shown = d.RowsShown("history");
        EXPECT_TRUE(shown.first <= 995 && 995 <= shown.last) << shown.first << ".." << shown.last;
        EXPECT_EQ(Selected("history"), u"row 1000");

        d.PressInFind(Key::Escape);
        d.Press("history", Key::End);
        ASSERT_TRUE(Send("row ", 1005, 1005));
        EXPECT_EQ(d.RowsShown("history").last, 999);
    });
}

}  // namespace contract_test
