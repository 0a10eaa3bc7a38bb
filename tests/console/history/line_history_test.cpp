#include "line_history.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
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

}  // namespace
