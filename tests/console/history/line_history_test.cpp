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

std::u16string Join(const std::vector<std::u16string>& lines)
{
    std::u16string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            out += u"\r\n";
        out += lines[i];
    }
    return out;
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
class LineHistoryTest : public ::testing::Test {
protected:
    std::unique_ptr<CLineHistory> h = std::make_unique<CLineHistory>();

    std::u16string AppendMany(int first, int last)
    {
        std::u16string shown;
        for (int i = first; i <= last; ++i)
            shown = h->AppendLine(L(i));
        return shown;
    }
};

TEST_F(LineHistoryTest, FirstLineIsTheWholeWindow)
{
    EXPECT_EQ(h->AppendLine(u"A"), u"A");
    EXPECT_EQ(h->TopLine(), 0);
    EXPECT_EQ(h->NextLine(), 1);
}

TEST_F(LineHistoryTest, EighteenLinesFillTheWindow)
{
    EXPECT_EQ(AppendMany(1, 18), Join(Range(1, 18)));
    EXPECT_EQ(h->TopLine(), 0);
    EXPECT_EQ(h->NextLine(), 18);
}

TEST_F(LineHistoryTest, NineteenthLinePushesOutTheOldest)
{
    AppendMany(1, 18);
    EXPECT_EQ(h->AppendLine(L(19)), Join(Range(2, 19)));
    EXPECT_EQ(h->TopLine(), 1);
}

TEST_F(LineHistoryTest, WindowFollowsTheWrapAtTheEndOfTheRing)
{
    EXPECT_EQ(AppendMany(1, 1000), Join(Range(983, 1000)));
    EXPECT_EQ(h->NextLine(), 0);
    EXPECT_EQ(h->TopLine(), 982);

    // The 1001st line overwrites row 0 and shows after row 999.
    EXPECT_EQ(h->AppendLine(L(1001)), Join(Range(984, 1001)));
    EXPECT_EQ(h->NextLine(), 1);
    EXPECT_EQ(h->TopLine(), 983);
    EXPECT_EQ(std::u16string(h->Row(0)), L(1001));

    // Far past the wrap the window still holds the 18 newest.
    EXPECT_EQ(AppendMany(1002, 2500), Join(Range(2483, 2500)));
}

TEST_F(LineHistoryTest, EmptyTextAddsAnEmptyLine)
{
    h->AppendLine(u"A");
    EXPECT_EQ(h->AppendLine(u""), u"A\r\n");
    EXPECT_EQ(h->AppendLine(u"B"), u"A\r\n\r\nB");
}

TEST_F(LineHistoryTest, EmptyFirstLineRendersEmpty)
{
    EXPECT_EQ(h->AppendLine(u""), u"");
}

TEST_F(LineHistoryTest, TextStopsAtItsFirstTerminator)
{
    EXPECT_EQ(h->AppendLine(std::u16string(u"ab\0cd", 5)), u"ab");
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
    EXPECT_EQ(h->AppendLine(GetParam().text), GetParam().shown);
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

// Each report is one row, and the rendered window has a line break only
// between rows.
TEST_P(LineHistoryRowTest, OneReportOneRow)
{
    auto h = std::make_unique<CLineHistory>();
    h->AppendLine(u"before");
    EXPECT_EQ(h->AppendLine(GetParam().text), u"before\r\n" + GetParam().row);
    EXPECT_EQ(h->AppendLine(u"after"), u"before\r\n" + GetParam().row + u"\r\nafter");
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
// copy is a run of whole, consecutive rows.
TEST_F(LineHistoryTest, StoredRowsWhileAppending)
{
    std::atomic<bool> done{false};
    std::thread writer([&] {
        AppendMany(1, 5000);
        done = true;
    });
    int copies = 0;
    while (!done || copies == 0) {
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
