#include "codepage.h"
#include "locale_charsets.h"
#include "system_decode.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
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
        DecodeCase{"UnknownCharsetKeepsAscii", "NO-SUCH-CHARSET", {'a', 0xE9}, u"a\uFFFD"},
        // "温度 23.5℃ 正常" as a board on a Japanese Windows PC sends it.
        DecodeCase{"Cp932", "CP932",
                   {0x89, 0xB7, 0x93, 0x78, ' ', '2', '3', '.', '5', 0x81, 0x8E, ' ', 0x90,
                    0xB3, 0x8F, 0xED},
                   u"温度 23.5℃ 正常"},
        DecodeCase{"Cp932HalfWidthKana", "CP932", {0xB1, 0xB2}, u"ｱｲ"},
        DecodeCase{"Cp932InvalidTrailByte", "CP932", {0x82, 0x20, 'a'}, u"\uFFFD a"},
        DecodeCase{"Cp932LeadByteCutAtEnd", "CP932", {'a', 0x82}, u"a\uFFFD"},
        DecodeCase{"Cp932LeadByteBeforeZero", "CP932", {'a', 0x82, 0, 0xA0}, u"a\uFFFD"}),
    [](const auto& info) { return info.param.name; });

TEST(DecodeLong, TextLongerThanOneConversionChunk)
{
    Bytes bytes;
    for (int i = 0; i < 1000; ++i) bytes.insert(bytes.end(), {0xE3, 0x81, 0x82});
    EXPECT_EQ(hid::DecodeText(bytes.data(), bytes.size(), "UTF-8"),
              std::u16string(1000, u'あ'));
}

// Text of bytes below 0x80 is decoded without asking the system, as ASCII:
// that holds only because every charset a locale can choose agrees with
// ASCII there. The system is asked here, for each of them.
TEST(DecodeText, AsciiBytesMeanAsciiInEveryLocaleCharset)
{
    std::string ascii;
    for (int b = 1; b < 0x80; ++b)
        ascii.push_back(static_cast<char>(b));
    const std::u16string expected(ascii.begin(), ascii.end());
    for (const std::string_view name : hid::kLocaleCharsets) {
        const std::string charset(name);
        EXPECT_EQ(SystemDecode(charset, ascii), expected) << charset;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(ascii.data());
        EXPECT_EQ(hid::DecodeText(bytes, ascii.size(), charset), expected) << charset;
    }
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
        EncodeCase{"LoneSurrogateEndsTheText", "UTF-8", u"a\xD800" u"b", 8, {'a', 0}},
        EncodeCase{"StopsAtNul", "UTF-8", u"a\0b"s, 8, {'a', 0}},
        EncodeCase{"EucJp", "EUC-JP", u"あ", 8, {0xA4, 0xA2, 0}},
        EncodeCase{"UnrepresentableEndsTheText", "ISO-8859-1", u"aあé", 8, {'a', 0}},
        EncodeCase{"PairOutsideCharsetEndsTheText", "ISO-8859-1", u"!\U0001F600!", 8,
                   {'!', 0}},
        EncodeCase{"UnknownCharsetKeepsAscii", "NO-SUCH-CHARSET", u"ab\u00E9c", 8,
                   {'a', 'b', 0}},
        EncodeCase{"Cp932", "CP932", u"こんにちは",  16,
                   {0x82, 0xB1, 0x82, 0xF1, 0x82, 0xC9, 0x82, 0xBF, 0x82, 0xCD, 0}},
        EncodeCase{"Cp932CutAtAWholeCharacter", "CP932", u"aこん", 5, {'a', 0x82, 0xB1, 0}},
        EncodeCase{"Cp932NoRoomForHalfACharacter", "CP932", u"こ", 2, {0}},
        EncodeCase{"Cp932MixedWidths", "CP932", u"ｱア", 8, {0xB1, 0x83, 0x41, 0}},
        EncodeCase{"Cp932LacksHangul", "CP932", u"あ한", 8, {0x82, 0xA0, 0}}),
    [](const auto& info) { return info.param.name; });

// With 64-byte reports: 31 kana of two bytes each, then the terminator.
TEST(EncodeCp932, ThirtyOneKanaFillAReport)
{
    std::uint8_t out[64];
    EXPECT_EQ(hid::EncodeText(std::u16string(40, u'あ'), out, sizeof out, "CP932"), 62u);
    EXPECT_EQ(out[62], 0);
}

// Every capacity from none to more than enough, over characters of one to
// four bytes: the text ends after the last whole character that fits with
// the terminator, in every charset.
TEST(EncodeAtEveryCapacity, CutsOnlyBetweenCharacters)
{
    struct Case {
        const char* charset;
        std::u16string text;
        std::vector<Bytes> characters;  // the bytes of each, in order
    } const cases[] = {
        {"UTF-8", u"aé€\U0001F600b",
         {{'a'}, {0xC3, 0xA9}, {0xE2, 0x82, 0xAC}, {0xF0, 0x9F, 0x98, 0x80}, {'b'}}},
        {"CP932", u"aｱあ漢b", {{'a'}, {0xB1}, {0x82, 0xA0}, {0x8A, 0xBF}, {'b'}}},
        {"EUC-JP", u"aｱあb", {{'a'}, {0x8E, 0xB1}, {0xA4, 0xA2}, {'b'}}},
        {"CP936", u"a中b", {{'a'}, {0xD6, 0xD0}, {'b'}}},
        {"CP949", u"a가b", {{'a'}, {0xB0, 0xA1}, {'b'}}},
        {"CP950", u"a中b", {{'a'}, {0xA4, 0xA4}, {'b'}}},
        {"CP1252", u"a€b", {{'a'}, {0x80}, {'b'}}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(hid::CanEncode(c.text, c.charset)) << c.charset;
        std::size_t whole = 0;
        for (const Bytes& ch : c.characters) whole += ch.size();
        for (std::size_t capacity = 0; capacity <= whole + 2; ++capacity) {
            Bytes expected;
            for (const Bytes& ch : c.characters) {
                if (capacity == 0 || expected.size() + ch.size() > capacity - 1) break;
                expected.insert(expected.end(), ch.begin(), ch.end());
            }
            const std::size_t length = expected.size();
            if (capacity > 0) expected.push_back(0);
            expected.resize(capacity + 2, 0xAA);

            Bytes buffer(capacity + 2, 0xAA);
            EXPECT_EQ(hid::EncodeText(c.text, buffer.data(), capacity, c.charset), length)
                << c.charset << ", capacity " << capacity;
            EXPECT_EQ(buffer, expected) << c.charset << ", capacity " << capacity;
        }
    }
}

TEST(CanEncode, WholeTextOrNothing)
{
    EXPECT_TRUE(hid::CanEncode(u"温度 23.5℃ ｱ", "CP932"));
    EXPECT_TRUE(hid::CanEncode(u"", "CP932"));
    EXPECT_FALSE(hid::CanEncode(u"abc한", "CP932"));
    EXPECT_FALSE(hid::CanEncode(u"\U0001F600", "CP932"));
    EXPECT_TRUE(hid::CanEncode(u"\U0001F600", "UTF-8"));
    EXPECT_FALSE(hid::CanEncode(u"a\xD800", "UTF-8"));
    EXPECT_FALSE(hid::CanEncode(u"é", "NO-SUCH-CHARSET"));
    EXPECT_TRUE(hid::CanEncode(u"ok\0\U0001F600"s, "CP1252"));  // stops at U+0000
}

struct LocaleCase {
    const char* locale;
    int codePage;
};

class CodePageForLocale : public testing::TestWithParam<LocaleCase> {};

TEST_P(CodePageForLocale, AsWindowsAssignsIt)
{
    EXPECT_EQ(hid::CodePageForLocale(GetParam().locale), GetParam().codePage);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodePageForLocale,
    testing::Values(
        LocaleCase{"ja_JP.UTF-8", 932}, LocaleCase{"ja_JP.eucJP", 932}, LocaleCase{"ja", 932},
        LocaleCase{"zh_CN.UTF-8", 936}, LocaleCase{"zh_SG", 936}, LocaleCase{"zh_TW.UTF-8", 950},
        LocaleCase{"zh_HK.Big5-HKSCS", 950}, LocaleCase{"zh_MO", 950}, LocaleCase{"zh", 936},
        LocaleCase{"ko_KR.UTF-8", 949}, LocaleCase{"th_TH", 874}, LocaleCase{"vi_VN", 1258},
        LocaleCase{"pl_PL.UTF-8", 1250}, LocaleCase{"cs_CZ", 1250}, LocaleCase{"hu_HU", 1250},
        LocaleCase{"sr_RS@latin", 1250}, LocaleCase{"ru_RU.KOI8-R", 1251},
        LocaleCase{"uk_UA", 1251}, LocaleCase{"sr_RS", 1251}, LocaleCase{"uz_UZ@cyrillic", 1251},
        LocaleCase{"en_US.UTF-8", 1252}, LocaleCase{"de_DE@euro", 1252},
        LocaleCase{"FR_fr.utf8", 1252}, LocaleCase{"el_GR", 1253}, LocaleCase{"tr_TR", 1254},
        LocaleCase{"az_AZ", 1254}, LocaleCase{"he_IL", 1255}, LocaleCase{"ar_EG", 1256},
        LocaleCase{"fa_IR", 1256}, LocaleCase{"ur_PK", 1256}, LocaleCase{"pa_PK", 1256},
        LocaleCase{"lt_LT", 1257}, LocaleCase{"lv_LV", 1257}, LocaleCase{"et_EE", 1257},
        // Unicode only on Windows
        LocaleCase{"hi_IN", 65001}, LocaleCase{"ka_GE", 65001}, LocaleCase{"hy_AM", 65001},
        LocaleCase{"pa_IN", 65001},
        LocaleCase{"C", 1252}, LocaleCase{"POSIX", 1252}, LocaleCase{"C.UTF-8", 1252},
        LocaleCase{"", 1252}, LocaleCase{"xx_YY", 1252}, LocaleCase{"_.@", 1252}),
    [](const auto& info) {
        std::string name = info.param.locale;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return "L" + name;
    });

}  // namespace
