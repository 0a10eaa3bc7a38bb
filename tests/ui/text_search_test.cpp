#include <gtest/gtest.h>

#include <string>

#include "text_search.h"

namespace {

using wsys::FindInText;

// "alpha\r\nBeta\r\nalphabet": matches of "alpha" at 0 and 13.
const std::u16string kText = u"alpha\r\nBeta\r\nalphabet";

TEST(FindInText, FromTheSelectionOnAndAroundAtEitherEnd)
{
    struct Case {
        const char* what;
        std::size_t selStart, selEnd;
        bool forward;
        std::size_t start;  // npos: none
    } const cases[] = {
        {"from the top", 0, 0, true, 0},
        {"past a match that is selected", 0, 5, true, 13},
        {"after the last one, from the top again", 13, 18, true, 0},
        {"caret inside the first", 2, 2, true, 13},
        {"backward from the end", kText.size(), kText.size(), false, 13},
        {"backward past a selected match", 13, 18, false, 0},
        {"backward before the first, from the end again", 0, 5, false, 13},
        {"backward from inside the second: it does not end before the caret", 15, 15, false, 0},
    };
    for (const Case& c : cases) {
        const auto m = FindInText(kText, u"alpha", c.selStart, c.selEnd, c.forward, true);
        ASSERT_TRUE(m) << c.what;
        EXPECT_EQ(m->start, c.start) << c.what;
        EXPECT_EQ(m->length, 5u) << c.what;
    }
}

TEST(FindInText, CaseAsAsked)
{
    struct Case {
        std::u16string text, needle;
        bool matchCase;
        bool found;
    } const cases[] = {
        {u"Beta", u"beta", false, true},
        {u"Beta", u"beta", true, false},
        {u"ÉTÉ", u"été", false, true},
        {u"ΣΟΦΙΑ", u"σοφια", false, true},
        {u"ПРИВЕТ Ёж", u"привет ёж", false, true},
        {u"ＡＢＣ", u"ａｂｃ", false, true},
        {u"ŁÓDŹ", u"łódź", false, true},
        {u"×", u"÷", false, false},  // not a letter pair
        {u"温度 23.5℃", u"23.5℃", false, true},
        {u"abc", u"", false, false},
        {u"ab", u"abc", false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindInText(c.text, c.needle, 0, 0, true, c.matchCase).has_value(), c.found)
            << std::string(c.needle.begin(), c.needle.end());
}

TEST(FindInText, SelectionOutsideTheTextIsClamped)
{
    const auto m = FindInText(u"abcabc", u"abc", 99, 7, true, true);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->start, 0u);
}

}  // namespace
