#include "line_history.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

std::u16string L(int i)
{
    std::u16string s = u"L";
    for (char c : std::to_string(i))
        s += static_cast<char16_t>(c);
    return s;
}

std::vector<std::u16string> Range(int first, int last)
{
    std::vector<std::u16string> v;
    for (int i = first; i <= last; ++i)
        v.push_back(L(i));
    return v;
}

// The ring is 132 KB: keep it off the test thread's stack, as the console
// keeps it inside a heap object.
using Rows = std::vector<std::u16string>;

class LineHistoryTest : public ::testing::Test {
protected:
    std::unique_ptr<CLineHistory> h = std::make_unique<CLineHistory>();

    // The visible rows once `first` to `last` are appended.
    Rows AppendMany(int first, int last)
    {
        for (int i = first; i <= last; ++i)
            h->AppendLine(L(i));
        return Visible();
    }
    Rows Visible() const { return h->VisibleSince(0).rows; }
};

TEST_F(LineHistoryTest, FirstLineIsTheWholeWindow)
{
    EXPECT_EQ(h->AppendLine(u"A"), 0u);
    EXPECT_EQ(Visible(), Rows{u"A"});
    EXPECT_EQ(h->TopLine(), 0);
    EXPECT_EQ(h->NextLine(), 1);
}

TEST_F(LineHistoryTest, EighteenLinesFillTheWindow)
{
    EXPECT_EQ(AppendMany(1, 18), Range(1, 18));
    EXPECT_EQ(h->TopLine(), 0);
    EXPECT_EQ(h->NextLine(), 18);
}

TEST_F(LineHistoryTest, NineteenthLinePushesOutTheOldest)
{
    AppendMany(1, 18);
    EXPECT_EQ(h->AppendLine(L(19)), 18u);
    EXPECT_EQ(Visible(), Range(2, 19));
    EXPECT_EQ(h->TopLine(), 1);
}

TEST_F(LineHistoryTest, WindowFollowsTheWrapAtTheEndOfTheRing)
{
    EXPECT_EQ(AppendMany(1, 1000), Range(983, 1000));
    EXPECT_EQ(h->NextLine(), 0);
    EXPECT_EQ(h->TopLine(), 982);

    // The 1001st line overwrites row 0 and shows after row 999.
    EXPECT_EQ(h->AppendLine(L(1001)), 1000u);
    EXPECT_EQ(Visible(), Range(984, 1001));
    EXPECT_EQ(h->NextLine(), 1);
    EXPECT_EQ(h->TopLine(), 983);
    EXPECT_EQ(std::u16string(h->Row(0)), L(1001));

    // Far past the wrap the window still holds the 18 newest.
    EXPECT_EQ(AppendMany(1002, 2500), Range(2483, 2500));
}

// The serials say which rows are new: a reader that has the rows up to a
// serial gets only those after it, or all visible ones where it fell
// behind the window.
TEST_F(LineHistoryTest, VisibleSinceGivesTheRowsFromASerialOn)
{
    EXPECT_EQ(h->VisibleSince(0).next, 0u);
    EXPECT_TRUE(h->VisibleSince(0).rows.empty());
    AppendMany(1, 1005);  // serials 0..1004
    struct Case {
        CLineHistory::Serial since;
        Rows rows;
    } const cases[] = {
        {1000, Range(1001, 1005)},
        {1004, Range(1005, 1005)},
        {1005, {}},
        {987, Range(988, 1005)},   // the window's first row
        {986, Range(988, 1005)},   // fell behind
        {0, Range(988, 1005)},
        {5000, {}},                // from a future that never came
    };
    for (const Case& c : cases) {
        const CLineHistory::Visible v = h->VisibleSince(c.since);
        EXPECT_EQ(v.first, 987u) << c.since;
        EXPECT_EQ(v.next, 1005u) << c.since;
        EXPECT_EQ(v.rows, c.rows) << c.since;
    }
}

TEST_F(LineHistoryTest, EmptyTextAddsAnEmptyLine)
{
    h->AppendLine(u"A");
    h->AppendLine(u"");
    EXPECT_EQ(Visible(), (Rows{u"A", u""}));
    h->AppendLine(u"B");
    EXPECT_EQ(Visible(), (Rows{u"A", u"", u"B"}));
}

TEST_F(LineHistoryTest, EmptyFirstLineIsARow)
{
    h->AppendLine(u"");
    EXPECT_EQ(Visible(), Rows{u""});
}

TEST_F(LineHistoryTest, TextStopsAtItsFirstTerminator)
{
    h->AppendLine(std::u16string(u"ab\0cd", 5));
    EXPECT_EQ(Visible(), Rows{u"ab"});
}

struct CutCase {
    const char* name;
    std::u16string text;
    std::u16string shown;
};

class LineHistoryCutTest : public ::testing::TestWithParam<CutCase> {};

const std::u16string kPair = u"\U0001F600";  // one character, two units

std::vector<CutCase> CutCases()
{
    const std::u16string a63(63, u'a'), a64(64, u'a'), a100(100, u'x');
    const std::u16string mixed = a63 + kPair;
    return {
        {"ShortTextUnchanged", u"Hello", u"Hello"},
        {"SixtyFourUnitsKept", a64, a64},
        {"HundredCutToSixtyFour", a100, a100.substr(0, 64)},
        {"PairEndingAtSixtyFourKept", std::u16string(62, u'a') + kPair + u"b",
         std::u16string(62, u'a') + kPair},
        {"PairAcrossTheCutDropped", mixed + u"more", a63},
        {"PairAcrossTheCutAtTheEndDropped", mixed, a63},
        {"AllPairsKeepsWholeOnes", [] { std::u16string s; for (int i = 0; i < 40; ++i) s += kPair; return s; }(),
         [] { std::u16string s; for (int i = 0; i < 32; ++i) s += kPair; return s; }()},
    };
}

TEST_P(LineHistoryCutTest, RowHoldsAtMostSixtyFourUnits)
{
    auto h = std::make_unique<CLineHistory>();
    h->AppendLine(GetParam().text);
    EXPECT_EQ(h->VisibleSince(0).rows, Rows{GetParam().shown});
    EXPECT_LE(std::u16string(h->Row(0)).size(), 64u);
}

INSTANTIATE_TEST_SUITE_P(Cuts, LineHistoryCutTest, ::testing::ValuesIn(CutCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct RowCase {
    const char* name;
    std::u16string text;
    std::u16string row;
};

class LineHistoryRowTest : public ::testing::TestWithParam<RowCase> {};

std::vector<RowCase> RowCases()
{
    return {
        {"CrLfDropped", u"line 1\r\n", u"line 1"},
        {"LfDropped", u"line 1\n", u"line 1"},
        {"CrDropped", u"line 1\r", u"line 1"},
        {"RepeatedBreaksDropped", u"x\r\n\r\n\n\r", u"x"},
        {"OnlyABreakIsAnEmptyRow", u"\r\n", u""},
        {"BreakInsideShown", u"a\r\nb\n", u"a\u240D\u240Ab"},
        {"BreakBeforeTrailingSpaceShown", u"a\n ", u"a\u240A "},
        {"TabAndEscapeShown", u"\tv=1\x1B[0m", u"\u2409v=1\u241B[0m"},
        {"DelShown", u"a\x7F", u"a\u2421"},
        {"C1Shown", u"a\u0085b\u009B", u"a\u2426b\u2426"},
        {"LineAndParagraphSeparatorsShown", u"a\u2028b\u2029", u"a\u2426b\u2426"},
        {"BreakDroppedBeforeTheCut", std::u16string(64, u'z') + u"\r\n",
         std::u16string(64, u'z')},
        {"StandInsCountLikeTheirCharacter", std::u16string(70, u'\t'),
         std::u16string(64, u'\u2409')},
    };
}

// Each report is one row, whatever breaks it holds.
TEST_P(LineHistoryRowTest, OneReportOneRow)
{
    auto h = std::make_unique<CLineHistory>();
    h->AppendLine(u"before");
    h->AppendLine(GetParam().text);
    h->AppendLine(u"after");
    EXPECT_EQ(h->VisibleSince(0).rows, (Rows{u"before", GetParam().row, u"after"}));
}

INSTANTIATE_TEST_SUITE_P(Rows, LineHistoryRowTest, ::testing::ValuesIn(RowCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LineHistoryTest, StoredRowsOldestFirstOnePerLine)
{
    EXPECT_EQ(h->StoredRows(), u"");
    h->AppendLine(u"a\r\n");
    h->AppendLine(u"");
    h->AppendLine(u"c");
    EXPECT_EQ(h->StoredRows(), u"a\r\n\r\nc\r\n");
}

TEST_F(LineHistoryTest, StoredRowsAreTheNewestThousandAcrossTheWrap)
{
    AppendMany(1, 2345);
    std::u16string expected;
    for (int i = 1346; i <= 2345; ++i)
        expected += L(i) + u"\r\n";
    EXPECT_EQ(h->StoredRows(), expected);
}

// The user-interface thread copies while the delivery thread appends: every
// copy is a run of whole, consecutive rows, and so is every visible window.
TEST_F(LineHistoryTest, StoredRowsWhileAppending)
{
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 1; i <= 5000; ++i)
            h->AppendLine(L(i));
        done = true;
    });
    int copies = 0;
    while (!done || copies == 0) {
        const CLineHistory::Visible v = h->VisibleSince(0);
        ASSERT_EQ(v.rows.size(), v.next - v.first);
        if (!v.rows.empty()) {
            EXPECT_EQ(v.rows.front(), L(static_cast<int>(v.first) + 1));
            EXPECT_EQ(v.rows.back(), L(static_cast<int>(v.next)));
        }
        const std::u16string all = h->StoredRows();
        ++copies;
        int previous = 0;
        std::size_t at = 0;
        while (at < all.size()) {
            const std::size_t end = all.find(u"\r\n", at);
            ASSERT_NE(end, std::u16string::npos);
            ASSERT_EQ(all[at], u'L');
            int n = 0;
            for (std::size_t i = at + 1; i < end; ++i)
                n = n * 10 + (all[i] - u'0');
            ASSERT_TRUE(previous == 0 || n == previous + 1) << n << " after " << previous;
            previous = n;
            at = end + 2;
        }
    }
    writer.join();
}

}  // namespace
