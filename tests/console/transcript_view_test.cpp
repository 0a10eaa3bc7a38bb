// The views of the history on the console's side, without a window: the
// bytes of a report in hexadecimal, and the events (connects, sends) among
// the rows, their order, their limits and what a frame costs with them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "history_feed.h"
#include "row_format.h"
#include "test_zone.h"

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

struct HexCase {
    const char* what;
    std::vector<std::uint8_t> report;
    std::u16string shown;
};

TEST(RowFormatTest, HexShowsTheReportUpToItsLastNonZeroByte)
{
    std::vector<std::uint8_t> full(64);
    for (int i = 0; i < 64; ++i)
        full[i] = static_cast<std::uint8_t>(0xC0 + i % 16);
    std::u16string fullShown;
    for (int i = 0; i < 64; ++i)
        fullShown += std::u16string(i ? u" " : u"") + u"C" + u"0123456789ABCDEF"[i % 16];
    const std::vector<HexCase> cases = {
        {"text", Bytes("Hi"), u"48 69"},
        {"a zero inside", {'H', 'i', 0, 'x'}, u"48 69 00 78"},
        {"an escape sequence", {0x1B, '[', '1', 'm'}, u"1B 5B 31 6D"},
        {"zero padding", {'H', 'i', 0, 0, 0, 0}, u"48 69"},
        {"zeros only", std::vector<std::uint8_t>(64, 0), u"00"},
        {"no data", {}, u"00"},
        {"leading zero", {0, 1}, u"00 01"},
        {"upper case, both ends", {0x00, 0xFF, 0xAB, 0x0F}, u"00 FF AB 0F"},
        {"a whole report", full, fullShown},
    };
    for (const HexCase& c : cases)
        EXPECT_EQ(CRowFormat::HexText(c.report.data(), c.report.size()), c.shown) << c.what;
    const std::uint8_t one[] = {0x41};
    EXPECT_EQ(CRowFormat::HexText(one, 1, true), u"41 \u2026");
}

// What the ring keeps of a report: up to its last non-zero byte, at most
// 64 of them, and whether a non-zero byte came after those.
TEST(RowFormatTest, TheRingKeepsTheBytesBesideTheText)
{
    auto h = std::make_unique<CLineHistory>();
    std::vector<std::uint8_t> padded(63, 0);
    padded[0] = 'H';
    padded[1] = 'i';
    padded[3] = 'x';
    h->AppendLine(u"Hi", 0, padded);
    std::vector<std::uint8_t> longer(100, 0x55);
    h->AppendLine(u"long", 0, longer);
    longer.resize(64);
    h->AppendLine(u"64", 0, longer);
    const std::vector<CLineHistory::Row> rows = h->RowsSince(0).rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].text, u"Hi");
    EXPECT_EQ(rows[0].byteCount, 4);
    EXPECT_FALSE(rows[0].bytesCut);
    EXPECT_EQ(CRowFormat::HexText(rows[0].bytes, rows[0].byteCount, rows[0].bytesCut),
              u"48 69 00 78");
    EXPECT_EQ(rows[1].byteCount, 64);
    EXPECT_TRUE(rows[1].bytesCut);
    EXPECT_EQ(rows[2].byteCount, 64);
    EXPECT_FALSE(rows[2].bytesCut);
}

// The box as the feed's changes leave it, checked against what the feed
// says it shows at every step.
class TranscriptFeedTest : public ::testing::Test {
protected:
    void SetUp() override { UseZoneNineHoursEast(); }

    std::unique_ptr<CHistoryFeed> feed = std::make_unique<CHistoryFeed>();
    std::vector<std::u16string> box;
    std::vector<wsys::RowChange> changes;
    std::int64_t clock = kNewYear2027Ms;

    void Apply(const wsys::RowChange& change)
    {
        changes.push_back(change);
        wsys::ApplyRowChange(box, change);
    }
    void Apply(const std::vector<wsys::RowChange>& list)
    {
        for (const wsys::RowChange& c : list)
            Apply(c);
    }
    void Row(const std::string& text)
    {
        const std::vector<std::uint8_t> bytes = Bytes(text);
        feed->Append(std::u16string(text.begin(), text.end()), clock++, bytes);
    }
    void Event(const std::u16string& text)
    {
        wsys::RowChange change;
        if (feed->RecordEvent(text, clock++, change))
            Apply(change);
    }
    void Frame()
    {
        wsys::RowChange change;
        while (feed->Take(change))
            if (!change.Empty())
                Apply(change);
    }
    // The box holds what the feed copies.
    std::u16string Box() const
    {
        std::u16string text;
        for (const std::u16string& row : box)
            text += row + u"\r\n";
        return text;
    }
};

TEST_F(TranscriptFeedTest, EventsStandAmongTheRowsWhereTheyHappened)
{
    Event(u"── 接続しました ──");
    Row("a");
    Row("b");
    Event(u"→ x");
    Row("c");
    Frame();
    EXPECT_EQ(box, (std::vector<std::u16string>{u"a", u"b", u"c"}));

    // Turned on later: the past events in their places, and new ones too.
    Apply(feed->ShowEvents(true));
    EXPECT_EQ(box, (std::vector<std::u16string>{u"── 接続しました ──", u"a", u"b", u"→ x", u"c"}));
    Event(u"→ Boot");
    Row("d");
    Frame();
    EXPECT_EQ(box.back(), u"d");
    EXPECT_EQ(box[box.size() - 2], u"→ Boot");
    EXPECT_EQ(Box(), feed->ShownRows());

    // Times before the events as before the rows; bytes in place of text.
    Apply(feed->ShowTimes(true));
    Apply(feed->ShowBytes(true));
    EXPECT_TRUE(changes.back().restyle);
    EXPECT_EQ(box[0], u"09:00:00.000  ── 接続しました ──");
    EXPECT_EQ(box[1], u"09:00:00.001  61");
    EXPECT_EQ(Box(), feed->ShownRows());

    Apply(feed->ShowEvents(false));
    Apply(feed->ShowBytes(false));
    Apply(feed->ShowTimes(false));
    EXPECT_EQ(box, (std::vector<std::u16string>{u"a", u"b", u"c", u"d"}));
    EXPECT_EQ(Box(), feed->ShownRows());
}

// A send's place is taken when it starts: the board's answer, stored while
// the send still ran, stands after it, whether the box had drawn the
// answer already or not.
TEST_F(TranscriptFeedTest, ASentLineStandsBeforeTheAnswerThatBeatIt)
{
    Apply(feed->ShowEvents(true));
    Row("before");
    Frame();
    for (const bool drawn : {false, true}) {
        changes.clear();
        const CHistoryFeed::Place at = feed->Here(clock++);
        Row("answer");
        if (drawn)
            Frame();
        wsys::RowChange change;
        ASSERT_TRUE(feed->RecordEvent(at, u"→ ask", change));
        Apply(change);
        EXPECT_EQ(change.replace, drawn);
        Frame();
        ASSERT_GE(box.size(), 3u);
        EXPECT_EQ(std::vector<std::u16string>(box.end() - 2, box.end()),
                  (std::vector<std::u16string>{u"→ ask", u"answer"}));
        EXPECT_EQ(Box(), feed->ShownRows());
    }
}

// Events that arrive as a burst of rows does: each frame brings only its
// own rows and events, added at the bottom.
TEST_F(TranscriptFeedTest, AFrameCarriesItsOwnRowsAndEventsOnly)
{
    Apply(feed->ShowEvents(true));
    for (int i = 0; i < 1200; ++i) {
        Row("r" + std::to_string(i));
        if (i % 100 == 0)
            Event(u"→ line");
    }
    Frame();
    for (int frame = 0; frame < 5; ++frame) {
        changes.clear();
        for (int i = 0; i < 10; ++i)
            Row("s");
        Event(u"→ more");
        Frame();
        ASSERT_FALSE(changes.empty());
        for (const wsys::RowChange& c : changes) {
            EXPECT_FALSE(c.replace);
            EXPECT_LE(c.added.size(), 11u);
        }
    }
    EXPECT_EQ(Box(), feed->ShownRows());
}

// What a frame costs with events shown and without, over a full ring:
// printed, not judged (the structure above is what keeps it flat).
TEST_F(TranscriptFeedTest, BurstCostWithAndWithoutEvents)
{
    for (const bool events : {false, true}) {
        feed = std::make_unique<CHistoryFeed>();
        box.clear();
        Apply(feed->ShowEvents(events));
        Apply(feed->ShowTimes(true));
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 10000; ++i) {
            Row("burst row " + std::to_string(i));
            if (i % 50 == 0)
                Event(u"→ line");
            if (i % 10 == 9)
                Frame();
        }
        const double us = std::chrono::duration<double, std::micro>(
                              std::chrono::steady_clock::now() - start).count();
        std::printf("events %s: %.2f us a row (10000 rows in frames of 10, times shown)\n",
                    events ? "shown" : "hidden", us / 10000);
        EXPECT_EQ(Box(), feed->ShownRows());
        changes.clear();
    }
}

// At most 1000 events, none older than the oldest stored row; clearing
// takes them all, and the rows that count as received are the same.
TEST_F(TranscriptFeedTest, EventsAreKeptWithinLimits)
{
    Apply(feed->ShowEvents(true));
    Event(u"before any row");
    Row("first");
    Frame();
    EXPECT_EQ(box.front(), u"before any row");  // no row was lost yet

    // Past the oldest row when it goes, whether shown or not.
    for (int i = 0; i < 999; ++i)
        Row("r");
    Event(u"among");
    Frame();
    EXPECT_EQ(box.front(), u"before any row");
    Row("pushes first out");
    Frame();
    EXPECT_EQ(box.front(), u"r");
    EXPECT_FALSE(changes.back().replace);
    EXPECT_EQ(changes.back().removed, 2u);
    EXPECT_EQ(Box(), feed->ShownRows());

    // The oldest of 1001 events goes, from the top where it stands...
    Apply(feed->Clear());
    EXPECT_TRUE(box.empty());
    const auto events = [&] {
        for (int i = 0; i < 1001; ++i)
            Event(u"e" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)));
    };
    events();
    EXPECT_EQ(box.size(), 1000u);
    EXPECT_EQ(box.front(), u"e1");
    EXPECT_FALSE(changes.back().replace);
    EXPECT_EQ(Box(), feed->ShownRows());
    // ...and from below a row still shown: the box is given all again.
    Apply(feed->Clear());
    Row("x");
    Frame();
    events();
    EXPECT_EQ(box.size(), 1001u);
    EXPECT_EQ(box[0], u"x");
    EXPECT_EQ(box[1], u"e1");
    EXPECT_TRUE(changes.back().replace);
    EXPECT_EQ(Box(), feed->ShownRows());

    Apply(feed->Clear());
    EXPECT_TRUE(box.empty());
    EXPECT_EQ(feed->ShownRows(), u"");
    Apply(feed->ShowEvents(false));
    Apply(feed->ShowEvents(true));
    EXPECT_TRUE(box.empty());
}

// Switching bytes over a full ring is a restyle of every row, the same
// count, both ways, with events shown or not.
TEST_F(TranscriptFeedTest, SwitchingBytesRestylesEveryRow)
{
    for (int i = 0; i < 1100; ++i)
        Row("Hi");
    Frame();
    for (const bool events : {false, true}) {
        Apply(feed->ShowEvents(events));
        for (const bool on : {true, false}) {
            changes.clear();
            Apply(feed->ShowBytes(on));
            ASSERT_EQ(changes.size(), 1u);
            EXPECT_TRUE(changes[0].replace && changes[0].restyle);
            EXPECT_EQ(changes[0].added.size(), 1000u);
            EXPECT_EQ(box.back(), on ? u"48 69" : u"Hi");
        }
    }
}

}  // namespace
