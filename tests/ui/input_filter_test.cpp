// The rule an edit control with an input filter follows, whatever draws
// it: refused changes undone, pastes cut at whole characters.
#include "input_filter.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

using Outcome = wsys::FilteredChange::Outcome;

// At most 8 units and no 'x', as a stand-in for a report's room and a
// code page's gaps.
bool EightNoX(const std::u16string& t)
{
    return t.size() <= 8 && t.find(u'x') == std::u16string::npos;
}

bool NotEmpty(const std::u16string& t) { return !t.empty(); }

struct Case {
    const char* name;
    bool (*filter)(const std::u16string&);
    std::u16string before;
    std::size_t selStart, selEnd;  // replaced by `inserted`
    std::u16string inserted;
    Outcome outcome;
    std::u16string kept;
    std::size_t start, end;  // the caret, or the selection given back
};

const std::u16string kPair = u"\U0001F600";  // one character, two units

const Case kCases[] = {
    {"typed", EightNoX, u"ab", 2, 2, u"c", Outcome::Taken, u"abc", 3, 3},
    {"refused key", EightNoX, u"ab", 2, 2, u"x", Outcome::Refused, u"ab", 2, 2},
    {"typed past the filter", EightNoX, u"abcdefgh", 8, 8, u"i", Outcome::Refused, u"abcdefgh", 8, 8},
    {"refused key over a selection", EightNoX, u"abcdef", 1, 3, u"x", Outcome::Refused, u"abcdef", 1, 3},
    {"paste cut to fit", EightNoX, u"abc", 3, 3, u"123456789", Outcome::Cut, u"abc12345", 8, 8},
    {"paste cut before a refused char", EightNoX, u"", 0, 0, u"12x45", Outcome::Cut, u"12", 2, 2},
    {"paste in the middle", EightNoX, u"abcd", 2, 2, u"123456", Outcome::Cut, u"ab1234cd", 6, 6},
    {"paste over a selection", EightNoX, u"abcdef", 0, 6, u"123456789", Outcome::Cut, u"12345678", 8, 8},
    {"paste wholly refused", EightNoX, u"abc", 1, 2, u"x", Outcome::Refused, u"abc", 1, 2},
    {"pair not split", EightNoX, u"abcdef", 6, 6, u"g" + kPair, Outcome::Cut, u"abcdefg", 7, 7},
    {"pair typed", EightNoX, u"ab", 2, 2, kPair, Outcome::Taken, u"ab" + kPair, 4, 4},
    {"pair typed past the filter", EightNoX, u"abcdefg", 7, 7, kPair, Outcome::Refused, u"abcdefg", 7, 7},
    // A length limit kept only the first half of the pair.
    {"half a pair", EightNoX, u"abcdef", 6, 6, kPair.substr(0, 1), Outcome::Refused, u"abcdef", 6, 6},
    {"half a pair after a whole character", EightNoX, u"ab", 2, 2, u"c" + kPair.substr(0, 1),
     Outcome::Cut, u"abc", 3, 3},
    // Which of the equal letters is the new text is told by the caret.
    {"paste among equal letters", EightNoX, u"aaa", 1, 1, u"aaaaaa", Outcome::Cut, u"aaaaaaaa", 6, 6},
    {"deletion refused", NotEmpty, u"a", 0, 1, u"", Outcome::Refused, u"a", 0, 1},
    {"deletion taken", NotEmpty, u"ab", 1, 2, u"", Outcome::Taken, u"a", 1, 1},
};

class FilterChangeTest : public ::testing::TestWithParam<Case> {};

TEST_P(FilterChangeTest, KeepsWhatTheFilterTakes)
{
    const Case& c = GetParam();
    const std::u16string after =
        c.before.substr(0, c.selStart) + c.inserted + c.before.substr(c.selEnd);
    const wsys::FilteredChange got =
        wsys::FilterChange(c.before, after, c.selStart + c.inserted.size(), c.filter);
    EXPECT_EQ(got.outcome, c.outcome);
    EXPECT_EQ(got.text, c.kept);
    EXPECT_EQ(got.start, c.start);
    EXPECT_EQ(got.end, c.end);
}

INSTANTIATE_TEST_SUITE_P(Changes, FilterChangeTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// Text that no longer passes (the filter changed: a board with smaller
// reports came) is not taken from the user by a change of nothing, nor
// by a key the filter refuses.
TEST(FilterChange, TextTheFilterNoLongerTakesStays)
{
    const auto none = [](const std::u16string&) { return false; };
    const wsys::FilteredChange same = wsys::FilterChange(u"abc", u"abc", 3, none);
    EXPECT_EQ(same.outcome, Outcome::Taken);
    EXPECT_EQ(same.text, u"abc");
    const wsys::FilteredChange typed = wsys::FilterChange(u"abc", u"abcd", 4, none);
    EXPECT_EQ(typed.outcome, Outcome::Refused);
    EXPECT_EQ(typed.text, u"abc");
}

}  // namespace
