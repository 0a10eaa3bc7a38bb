#include "codepage.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::string_literals;

struct DecodeCase {
    const char* name;
    const char* charset;
    Bytes bytes;
    std::u16string text;
};

class Decode : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, ReadsUpToFirstZeroAndMarksBadBytes)
{
    const DecodeCase& c = GetParam();
    EXPECT_EQ(hid::DecodeText(c.bytes.data(), c.bytes.size(), c.charset), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Decode,
    testing::Values(
        DecodeCase{"StopsAtZero", "UTF-8", {'H', 'i', 0, 'x', 'y'}, u"Hi"},
        DecodeCase{"NoZeroTakesAll", "UTF-8", {'H', 'i', '!'}, u"Hi!"},
        DecodeCase{"Empty", "UTF-8", {}, u""},
        DecodeCase{"Multibyte", "UTF-8", {0xE3, 0x81, 0x82, 'a'}, u"あa"},
        DecodeCase{"OutsideBmpBecomesSurrogatePair", "UTF-8", {0xF0, 0x9F, 0x98, 0x80},
                   u"\U0001F600"},
        DecodeCase{"InvalidByte", "UTF-8", {'a', 0xFF, 'b'}, u"a\uFFFDb"},
        DecodeCase{"LoneContinuationBytes", "UTF-8", {0x80, 0x80}, u"\uFFFD\uFFFD"},
        DecodeCase{"CutAtEnd", "UTF-8", {'a', 0xE3, 0x81}, u"a\uFFFD"},
        DecodeCase{"CutBeforeZero", "UTF-8", {'a', 0xE3, 0, 'b'}, u"a\uFFFD"},
        DecodeCase{"EucJp", "EUC-JP", {0xA4, 0xA2, 'x'}, u"あx"},
        DecodeCase{"Latin1", "ISO-8859-1", {'c', 'a', 'f', 0xE9}, u"café"},
        DecodeCase{"UnknownCharsetKeepsAscii", "NO-SUCH-CHARSET", {'a', 0xE9}, u"a\uFFFD"}),
    [](const auto& info) { return info.param.name; });

TEST(DecodeLong, TextLongerThanOneConversionChunk)
{
    Bytes bytes;
    for (int i = 0; i < 1000; ++i) bytes.insert(bytes.end(), {0xE3, 0x81, 0x82});
    EXPECT_EQ(hid::DecodeText(bytes.data(), bytes.size(), "UTF-8"),
              std::u16string(1000, u'あ'));
}

struct EncodeCase {
    const char* name;
    const char* charset;
    std::u16string text;
    std::size_t capacity;
    Bytes bytes;  // text and terminator
};

class Encode : public testing::TestWithParam<EncodeCase> {};

TEST_P(Encode, WritesWholeCharactersAndATerminator)
{
    const EncodeCase& c = GetParam();
    Bytes buffer(c.capacity + 4, 0xAA);
    std::size_t n = hid::EncodeText(c.text, buffer.data(), c.capacity, c.charset);

    Bytes expected = c.bytes;
    expected.resize(buffer.size(), 0xAA);  // nothing past the terminator
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(n, c.bytes.empty() ? 0 : c.bytes.size() - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Encode,
    testing::Values(
        EncodeCase{"Ascii", "UTF-8", u"abc", 10, {'a', 'b', 'c', 0}},
        EncodeCase{"Empty", "UTF-8", u"", 10, {0}},
        EncodeCase{"ExactFit", "UTF-8", u"abc", 4, {'a', 'b', 'c', 0}},
        EncodeCase{"CutForTerminator", "UTF-8", u"abcd", 4, {'a', 'b', 'c', 0}},
        EncodeCase{"MultibyteFits", "UTF-8", u"aあ", 5, {'a', 0xE3, 0x81, 0x82, 0}},
        EncodeCase{"MultibyteNeverSplit", "UTF-8", u"aあ", 4, {'a', 0}},
        EncodeCase{"OnlyTerminatorFits", "UTF-8", u"abc", 1, {0}},
        EncodeCase{"NoRoomAtAll", "UTF-8", u"abc", 0, {}},
        EncodeCase{"SurrogatePair", "UTF-8", u"\U0001F600", 8, {0xF0, 0x9F, 0x98, 0x80, 0}},
        EncodeCase{"LoneSurrogates", "UTF-8", u"a\xD800" u"b\xDC00", 8, {'a', '?', 'b', '?', 0}},
        EncodeCase{"StopsAtNul", "UTF-8", u"a\0b"s, 8, {'a', 0}},
        EncodeCase{"EucJp", "EUC-JP", u"あ", 8, {0xA4, 0xA2, 0}},
        EncodeCase{"UnrepresentableBecomesQuestionMark", "ISO-8859-1", u"aあé", 8,
                   {'a', '?', 0xE9, 0}},
        EncodeCase{"PairOutsideCharsetIsOneQuestionMark", "ISO-8859-1", u"\U0001F600!", 8,
                   {'?', '!', 0}},
        EncodeCase{"UnknownCharsetKeepsAscii", "NO-SUCH-CHARSET", u"aé", 8, {'a', '?', 0}}),
    [](const auto& info) { return info.param.name; });

TEST(SystemCharset, CLocaleIsTakenAsUtf8)
{
    std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    EXPECT_EQ(hid::SystemCharset(), "UTF-8");
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
