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

    // The stored rows once `first` to `last` are appended.
    Rows AppendMany(int first, int last)
    {
        for (int i = first; i <= last; ++i)
            h->AppendLine(L(i), i);
        return Visible();
    }
    Rows Visible() const
    {
        Rows texts;
        for (const CLineHistory::Row& row : h->RowsSince(0).rows)
            texts.push_back(row.text);
        return texts;
    }
};

TEST_F(LineHistoryTest, EveryStoredRowIsShownUpToAThousand)
{
    EXPECT_EQ(h->AppendLine(L(1)), 0u);
    EXPECT_EQ(Visible(), Range(1, 1));
    EXPECT_EQ(AppendMany(2, 1000), Range(1, 1000));
    EXPECT_EQ(h->StoredCount(), 1000);
    EXPECT_EQ(h->NextLine(), 0);

    // The 1001st row overwrites slot 0 and comes after slot 999.
    EXPECT_EQ(h->AppendLine(L(1001)), 1000u);
    EXPECT_EQ(Visible(), Range(2, 1001));
    EXPECT_EQ(std::u16string(h->Slot(0)), L(1001));
    EXPECT_EQ(h->StoredCount(), 1000);

    // Far past the wrap the ring still holds the 1000 newest.
    EXPECT_EQ(AppendMany(1002, 3500), Range(2501, 3500));
}

// Each row keeps the time it was appended with, across the wrap.
TEST_F(LineHistoryTest, RowsKeepTheirArrivalTimes)
{
    AppendMany(1, 1234);
    const CLineHistory::Rows r = h->RowsSince(0);
    ASSERT_EQ(r.rows.size(), 1000u);
    for (std::size_t i = 0; i < r.rows.size(); ++i)
        EXPECT_EQ(r.rows[i].timeMs, static_cast<std::int64_t>(235 + i)) << i;
}

// The serials say which rows are new: a reader that has the rows up to a
// serial gets only those after it, or all stored ones where it fell
// behind the ring.
TEST_F(LineHistoryTest, RowsSinceGivesTheRowsFromASerialOn)
{
    EXPECT_EQ(h->RowsSince(0).next, 0u);
    EXPECT_TRUE(h->RowsSince(0).rows.empty());
    AppendMany(1, 1005);  // serials 0..1004; 5..1004 stored
    struct Case {
        CLineHistory::Serial since;
        Rows rows;
    } const cases[] = {
        {1000, Range(1001, 1005)},
        {1004, Range(1005, 1005)},
        {1005, {}},
        {5, Range(6, 1005)},   // the oldest stored row
        {4, Range(6, 1005)},   // fell behind
        {0, Range(6, 1005)},
        {5000, {}},            // from a future that never came
    };
    for (const Case& c : cases) {
        const CLineHistory::Rows r = h->RowsSince(c.since);
        EXPECT_EQ(r.first, 5u) << c.since;
        EXPECT_EQ(r.next, 1005u) << c.since;
        Rows texts;
        for (const CLineHistory::Row& row : r.rows)
            texts.push_back(row.text);
        EXPECT_EQ(texts, c.rows) << c.since;
    }
}

// Clearing empties the ring, full or not; serials run on, so a reader
// that showed rows before sees that none of them is left.
TEST_F(LineHistoryTest, ClearEmptiesTheRingAndSerialsRunOn)
{
    for (const int before : {3, 1000, 1500}) {
        h = std::make_unique<CLineHistory>();
        AppendMany(1, before);
        h->Clear();
        CLineHistory::Rows r = h->RowsSince(0);
        EXPECT_EQ(r.first, static_cast<CLineHistory::Serial>(before)) << before;
        EXPECT_EQ(r.next, static_cast<CLineHistory::Serial>(before)) << before;
        EXPECT_TRUE(r.rows.empty()) << before;

        EXPECT_EQ(h->AppendLine(u"after"), static_cast<CLineHistory::Serial>(before));
        EXPECT_EQ(Visible(), Rows{u"after"}) << before;
        EXPECT_EQ(AppendMany(1, 1200), Range(201, 1200)) << before;
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
    ASSERT_EQ(h->RowsSince(0).rows.size(), 1u);
    EXPECT_EQ(h->RowsSince(0).rows[0].text, GetParam().shown);
    EXPECT_LE(std::u16string(h->Slot(0)).size(), 64u);
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
        // A text box may start a block at a noncharacter (U+FDD0, U+FDD1).
        {"NoncharactersUnknown", u"a\uFDD0b\uFDD1c\uFDEF\uFFFE\uFFFF",
         u"a\uFFFDb\uFFFDc\uFFFD\uFFFD\uFFFD"},
        {"NoncharacterPairsUnknown", u"a\U0001FFFEb\U0010FFFF\U000EFFFE",
         u"a\uFFFDb\uFFFD\uFFFD"},
        {"NeighboursOfNoncharactersKept", u"\uFDCF\uFDF0\uFFFD\U0001FFFD\U00020000",
         u"\uFDCF\uFDF0\uFFFD\U0001FFFD\U00020000"},
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
    const CLineHistory::Rows r = h->RowsSince(0);
    ASSERT_EQ(r.rows.size(), 3u);
    EXPECT_EQ(r.rows[1].text, GetParam().row);
}

INSTANTIATE_TEST_SUITE_P(Rows, LineHistoryRowTest, ::testing::ValuesIn(RowCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The user-interface thread reads while the reader thread appends: every
// read is a run of whole, consecutive rows with their own times.
TEST_F(LineHistoryTest, ReadWhileAppending)
{
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 1; i <= 5000; ++i)
            h->AppendLine(L(i), i);
        done = true;
    });
    int reads = 0;
    while (!done || reads == 0) {
        const CLineHistory::Rows r = h->RowsSince(0);
        ++reads;
        ASSERT_EQ(r.rows.size(), r.next - r.first);
        for (std::size_t i = 0; i < r.rows.size(); ++i) {
            const int n = static_cast<int>(r.first + i) + 1;
            ASSERT_EQ(r.rows[i].text, L(n));
            ASSERT_EQ(r.rows[i].timeMs, n);
        }
    }
    writer.join();
}

}  // namespace
