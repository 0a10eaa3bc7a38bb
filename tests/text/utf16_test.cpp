#include <gtest/gtest.h>

#include "utf16.h"

namespace {

const std::u16string kPair = u"\U0001F600";  // one character, two units

TEST(Utf16, LoneSurrogates)
{
    struct Case {
        std::u16string text;
        bool lone;
    } const cases[] = {
        {u"", false},
        {u"abc", false},
        {u"a" + kPair + u"b", false},
        {std::u16string(1, u'\xD83D'), true},
        {std::u16string(1, u'\xDE00'), true},
        {u"a" + kPair.substr(1) + kPair.substr(0, 1), true},  // halves the wrong way round
        {kPair + kPair.substr(0, 1), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text::HasLoneSurrogate(c.text), c.lone) << c.text.size();
}

TEST(Utf16, CutNeverSplitsAPair)
{
    const std::u16string s = u"ab" + kPair + u"c";
    struct Case {
        std::size_t units, cut;
    } const cases[] = {{0, 0}, {2, 2}, {3, 2}, {4, 4}, {5, 5}, {99, 5}};
    for (const Case& c : cases)
        EXPECT_EQ(text::WholeCharacterCut(s, c.units), c.cut) << c.units;
}

TEST(Utf16, CodePointsBothWays)
{
    std::u16string out;
    for (const char32_t c : {U'A', U'\u3042', U'\U0001F600', char32_t(0xD800), char32_t(0x110000)})
        text::AppendCodePoint(out, c);
    EXPECT_EQ(out, u"A\u3042" + kPair + u"\uFFFD\uFFFD");

    std::size_t i = 0;
    const std::u16string s = kPair + std::u16string(1, u'\xDC00');
    EXPECT_EQ(text::NextCodePoint(s, i), U'\U0001F600');
    EXPECT_EQ(i, 2u);
    EXPECT_EQ(text::NextCodePoint(s, i), char32_t(0xDC00));  // lone: itself, one unit
    EXPECT_EQ(i, 3u);
}

TEST(Utf16, NarrowTexts)
{
    EXPECT_EQ(text::Widen("VID:0x04D8"), u"VID:0x04D8");
    EXPECT_EQ(text::ToUtf8(u"/dev/hidraw0"), "/dev/hidraw0");
    EXPECT_EQ(text::ToUtf8(u"\u00e9\u3042" + kPair), "\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80");
    EXPECT_EQ(text::ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

}  // namespace
