// The code page on Windows: names, the system code page (and how it is
// chosen where Windows is set to UTF-8), and characters the code page
// lacks (refused, never a look-alike).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codepage.h"
#include "codepage_win32.h"
#include "system_decode.h"

std::optional<std::u16string> SystemDecode(const std::string& charset, const std::string& bytes)
{
    const UINT cp = charset == "UTF-8" ? CP_UTF8 : std::stoul(charset.substr(2));
    const int size = static_cast<int>(bytes.size());
    std::u16string out(bytes.size(), u'\0');  // ample for a code page
    const int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), size,
                                      reinterpret_cast<wchar_t*>(out.data()), size);
    if (size > 0 && n <= 0) return std::nullopt;
    out.resize(static_cast<std::size_t>(n));
    return out;
}

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Win32CodePage, SystemCharsetIsTheAnsiCodePage)
{
    const std::string name = hid::SystemCharset();
    ASSERT_GT(name.size(), 2u);
    EXPECT_EQ(name.substr(0, 2), "CP");
    EXPECT_EQ(name.find_first_not_of("0123456789", 2), std::string::npos);
    if (GetACP() != CP_UTF8) {
        EXPECT_EQ(name, "CP" + std::to_string(GetACP()));
    }
    // The empty name is that code page.
    const Bytes bytes = {'a', 'b', 0};
    EXPECT_EQ(hid::DecodeText(bytes.data(), bytes.size()), u"ab");
    EXPECT_EQ(hid::DecodeText(bytes.data(), bytes.size(), name), u"ab");
}

struct ChoiceCase {
    const char* name;
    unsigned acp;
    unsigned localeCodePage;
    const char* locale;
    unsigned chosen;
};

class Win32CodePageChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(Win32CodePageChoice, LegacyCodePageWhereWindowsSpeaksUtf8)
{
    const auto& c = GetParam();
    EXPECT_EQ(hid::ChooseAnsiCodePage(c.acp, c.localeCodePage, c.locale), c.chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Win32CodePageChoice,
    testing::Values(
        // UTF-8 off, or the manifest's legacy code page honoured.
        ChoiceCase{"AnsiCodePage", 932, 932, "ja-JP", 932},
        // A code page other than the locale's is the user's setting.
        ChoiceCase{"AnsiCodePageOverLocale", 1252, 932, "ja-JP", 1252},
        // UTF-8 on: the system locale's own ANSI code page.
        ChoiceCase{"Utf8TakesTheLocales", 65001, 932, "ja-JP", 932},
        ChoiceCase{"Utf8TakesTheLocalesWestern", 65001, 1252, "de-DE", 1252},
        // The locale says UTF-8 too, or nothing: its language's code page.
        ChoiceCase{"LocaleSaysUtf8", 65001, 65001, "ja-JP", 932},
        ChoiceCase{"LocaleSaysNothing", 65001, 0, "ko-KR", 949},
        ChoiceCase{"ChineseTraditional", 65001, 0, "zh-TW", 950},
        ChoiceCase{"ChineseSimplified", 65001, 65001, "zh-CN", 936},
        ChoiceCase{"SerbianLatin", 65001, 0, "sr-Latn-RS", 1250},
        ChoiceCase{"SerbianCyrillic", 65001, 0, "sr-Cyrl-RS", 1251},
        ChoiceCase{"UnderscoreName", 65001, 0, "ru_RU", 1251},
        // A language Windows has no ANSI code page for keeps UTF-8.
        ChoiceCase{"UnicodeOnlyLanguage", 65001, 0, "hi-IN", 65001},
        ChoiceCase{"NothingKnown", 65001, 0, "", 65001}),
    [](const auto& info) { return info.param.name; });

struct CanEncodeCase {
    const char* name;
    const char* charset;
    std::u16string text;
    bool ok;
};

class Win32CanEncode : public testing::TestWithParam<CanEncodeCase> {};

TEST_P(Win32CanEncode, RefusesWhatTheCodePageLacks)
{
    const auto& c = GetParam();
    EXPECT_EQ(hid::CanEncode(c.text, c.charset), c.ok);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Win32CanEncode,
    testing::Values(
        CanEncodeCase{"Ascii1252", "CP1252", u"Boot 123", true},
        CanEncodeCase{"Latin1252", "CP1252", u"café €", true},
        CanEncodeCase{"Kana1252", "CP1252", u"aあ", false},
        // Best fit would send 'A' for these: refused instead.
        CanEncodeCase{"BestFitRefused1252", "CP1252", u"\u0100", false},
        CanEncodeCase{"FullwidthRefused1252", "CP1252", u"\uFF21", false},
        CanEncodeCase{"Japanese932", "CP932", u"あア漢ｱ", true},
        CanEncodeCase{"Umlaut932", "CP932", u"ä", false},
        CanEncodeCase{"LoneSurrogate", "UTF-8", u"a\xD800", false},
        CanEncodeCase{"PairUtf8", "UTF-8", u"\U0001F600", true},
        CanEncodeCase{"PairCp932", "CP932", u"\U0001F600", false},
        CanEncodeCase{"StopsAtNul", "CP1252", std::u16string(u"a\0あ", 3), true},
        CanEncodeCase{"UnknownKeepsAscii", "NO-SUCH", u"abc", true},
        CanEncodeCase{"UnknownRefusesTheRest", "NO-SUCH", u"é", false}),
    [](const auto& info) { return info.param.name; });

struct Win32DecodeCase {
    const char* name;
    const char* charset;
    Bytes bytes;
    std::u16string text;
};

class Win32Decode : public testing::TestWithParam<Win32DecodeCase> {};

TEST_P(Win32Decode, MarksEveryBadByte)
{
    const auto& c = GetParam();
    EXPECT_EQ(hid::DecodeText(c.bytes.data(), c.bytes.size(), c.charset), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Win32Decode,
    testing::Values(
        Win32DecodeCase{"ShiftJis", "CP932", {0x82, 0xA0, 'x'}, u"あx"},
        Win32DecodeCase{"HalfwidthKana", "CP932", {0xB1}, u"ｱ"},
        Win32DecodeCase{"LeadByteCutAtEnd", "CP932", {'a', 0x82}, u"a\uFFFD"},
        Win32DecodeCase{"LeadByteCutBeforeZero", "CP932", {'a', 0x82, 0, 'b'}, u"a\uFFFD"},
        Win32DecodeCase{"BadTrailByte", "CP932", {0x82, 0x20, 'b'}, u"\uFFFD b"},
        Win32DecodeCase{"Cp1252", "CP1252", {'c', 'a', 'f', 0xE9, 0x80}, u"café€"},
        Win32DecodeCase{"Utf8Name", "UTF-8", {0xE3, 0x81, 0x82}, u"あ"},
        // Each byte that begins no character is marked, as on Linux.
        Win32DecodeCase{"Utf8BadInTheMiddle", "UTF-8", {'a', 0xE3, 0x81, 'b', 0xFF},
                   u"a\uFFFD\uFFFDb\uFFFD"}),
    [](const auto& info) { return info.param.name; });

TEST(Win32Encode, NeverSendsALookAlike)
{
    // Windows' best fit would send 'A' for U+0100: the text ends there.
    std::uint8_t out[8] = {};
    EXPECT_EQ(hid::EncodeText(u"a\u0100b", out, sizeof out, "CP1252"), 1u);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{'a', 0, 0}));
}

TEST(Win32Encode, CutsBeforeADoubleByteCharacter)
{
    std::uint8_t out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(hid::EncodeText(u"aあ", out, 3, "CP932"), 1u);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{'a', 0, 0xAA, 0xAA}));
}

}  // namespace
