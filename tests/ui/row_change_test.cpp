// What a box of rows is told, and how the one who feeds it keeps count of
// what it shows.
#include "row_change.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace {

using wsys::CShownRows;
using wsys::RowChange;
using wsys::RowSerial;
using Rows = std::vector<std::u16string>;

std::u16string R(RowSerial serial)
{
    std::u16string row = u"r";
    for (char c : std::to_string(serial))
        row += static_cast<char16_t>(c);
    return row;
}

Rows Range(RowSerial from, RowSerial to)  // [from, to)
{
    Rows rows;
    for (RowSerial s = from; s < to; ++s)
        rows.push_back(R(s));
    return rows;
}

struct Step {
    const char* name;
    wsys::RowSlice slice;
    bool replace;
    std::size_t removed;
    Rows added;
    RowSerial first, next;  // shown afterwards
};

// One box, fed step by step from a source whose window is 5 rows.
TEST(ShownRows, FollowsTheSource)
{
    const Step steps[] = {
        {"nothing yet", {0, 0, {}}, false, 0, {}, 0, 0},
        {"the first rows", {0, 3, Range(0, 3)}, true, 0, Range(0, 3), 0, 3},
        {"rows added", {0, 5, Range(3, 5)}, false, 0, Range(3, 5), 0, 5},
        {"nothing new", {0, 5, {}}, false, 0, {}, 0, 5},
        {"rows gone at the top", {2, 7, Range(5, 7)}, false, 2, Range(5, 7), 2, 7},
        {"all but one gone", {6, 11, Range(7, 11)}, false, 4, Range(7, 11), 6, 11},
        {"outran the box", {20, 25, Range(20, 25)}, true, 0, Range(20, 25), 20, 25},
        {"just outran it", {25, 30, Range(25, 30)}, true, 0, Range(25, 30), 25, 30},
        // Whatever does not carry on from what is shown replaces it.
        {"rows that do not follow on", {26, 31, Range(29, 31)}, true, 0, Range(29, 31), 29, 31},
        // Rows the serials cannot hold are shown, numbered from the start.
        {"more rows than serials", {0, 1, Range(0, 3)}, true, 0, Range(0, 3), 0, 3},
    };
    CShownRows shown;
    EXPECT_EQ(shown.Since(), 0u);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        const RowChange c = shown.Follow(s.slice);
        EXPECT_EQ(c.replace, s.replace);
        EXPECT_EQ(c.removed, s.removed);
        EXPECT_EQ(c.added, s.added);
        EXPECT_EQ(c.Empty(), !s.replace && s.removed == 0 && s.added.empty());
        EXPECT_EQ(shown.First(), s.first);
        EXPECT_EQ(shown.Next(), s.next);
        EXPECT_EQ(shown.Since(), s.first < s.next ? s.next : 0);
    }
    // A new box asks for everything again.
    shown.Clear();
    EXPECT_EQ(shown.Since(), 0u);
    const RowChange c = shown.Follow({8, 13, Range(8, 13)});
    EXPECT_TRUE(c.replace);
    EXPECT_EQ(shown.Count(), 5u);
}

// A ring of 1000 rows with a window of 18, taken at uneven intervals: the
// box always ends up with exactly the window, and only a take that fell a
// whole window behind replaces everything.
TEST(ShownRows, ABoxFedByARingHoldsItsWindow)
{
    constexpr RowSerial kWindow = 18;
    std::deque<std::u16string> source;
    RowSerial next = 0;
    CShownRows shown;
    Rows box;
    int replaced = 0;
    for (int turn = 0; turn < 400; ++turn) {
        const RowSerial fresh = (turn * 7) % 23;  // 0 to 22 rows between takes
        for (RowSerial i = 0; i < fresh; ++i) {
            source.push_back(R(next++));
            if (source.size() > kWindow)
                source.pop_front();
        }
        const RowSerial first = next - source.size();
        const RowSerial since = std::max(shown.Since(), first);
        wsys::RowSlice slice{first, next, Rows(source.end() - (next - since), source.end())};
        const std::size_t before = box.size();
        RowChange c = shown.Follow(slice);
        EXPECT_EQ(c.replace, fresh > 0 && (before == 0 || fresh >= kWindow)) << turn;
        if (c.replace) {
            ++replaced;
        } else if (!c.Empty()) {
            ASSERT_LT(c.removed, before) << "a change keeps a row";
        }
        wsys::ApplyRowChange(box, std::move(c));
        ASSERT_EQ(box, Rows(source.begin(), source.end())) << turn;
    }
    std::printf("%d of 400 takes replaced the box\n", replaced);
}

TEST(RowChange, AppliedToRows)
{
    Rows rows{u"a", u"b", u"c"};
    wsys::ApplyRowChange(rows, {false, 2, {u"d"}});
    EXPECT_EQ(rows, (Rows{u"c", u"d"}));
    wsys::ApplyRowChange(rows, {true, 0, {u"x", u""}});
    EXPECT_EQ(rows, (Rows{u"x", u""}));
    wsys::ApplyRowChange(rows, {false, 5, {u"y"}});  // more than it holds: all go
    EXPECT_EQ(rows, Rows{u"y"});
    wsys::ApplyRowChange(rows, {true, 0, {}});
    EXPECT_TRUE(rows.empty());
}

TEST(RowChange, Joined)
{
    EXPECT_EQ(wsys::JoinRows({}, u"\r\n"), u"");
    EXPECT_EQ(wsys::JoinRows({u""}, u"\r\n"), u"");
    EXPECT_EQ(wsys::JoinRows({u"", u""}, u"\r\n"), u"\r\n");
    EXPECT_EQ(wsys::JoinRows({u"a", u"b", u"c"}, u"\n"), u"a\nb\nc");
}

}  // namespace
