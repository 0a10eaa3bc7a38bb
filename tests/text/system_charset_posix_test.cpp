// SystemCharset on Linux: the code page of the locale the
// environment names (on Windows it is the ANSI code page, tested there).
#include "codepage.h"
#include "locale_charsets.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The first of LC_ALL, LC_CTYPE and LANG that is set and not empty.
TEST(SystemCharset, FollowsTheLocaleVariables)
{
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const char* n : names) {
        const char* v = std::getenv(n);
        saved.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
    }
    struct {
        const char* all;
        const char* ctype;
        const char* lang;
        const char* charset;
    } const cases[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", "CP932"},
        {nullptr, "ru_RU.UTF-8", "ja_JP.UTF-8", "CP1251"},
        {"el_GR", "ru_RU.UTF-8", "ja_JP.UTF-8", "CP1253"},
        {"", "", "ko_KR", "CP949"},
        {nullptr, nullptr, nullptr, "CP1252"},
        {nullptr, nullptr, "hi_IN", "UTF-8"},
    };
    for (const auto& c : cases) {
        const char* values[] = {c.all, c.ctype, c.lang};
        for (int i = 0; i < 3; ++i) {
            if (values[i])
                setenv(names[i], values[i], 1);
            else
                unsetenv(names[i]);
        }
        EXPECT_EQ(hid::SystemCharset(), c.charset) << c.lang;
    }
    for (const auto& [n, v] : saved) {
        if (v)
            setenv(n.c_str(), v->c_str(), 1);
        else
            unsetenv(n.c_str());
    }
}

}  // namespace

namespace {

// Text of bytes below 0x80 is decoded without a converter, as ASCII: that
// holds only because every charset a locale can choose (Windows' ANSI code
// pages and UTF-8) agrees with ASCII there. iconv is asked here, byte by
// byte, for each of them.
TEST(DecodeText, AsciiBytesMeanAsciiInEveryLocaleCharset)
{
    std::string ascii;
    for (int b = 1; b < 0x80; ++b)
        ascii.push_back(static_cast<char>(b));
    for (const std::string_view name : hid::kLocaleCharsets) {
        const std::string charset(name);
        iconv_t cd = iconv_open("UTF-32LE", charset.c_str());
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << charset;
        std::vector<char32_t> out(ascii.size());
        char* in = ascii.data();
        std::size_t inLeft = ascii.size();
        char* to = reinterpret_cast<char*>(out.data());
        std::size_t toLeft = out.size() * sizeof(char32_t);
        EXPECT_EQ(iconv(cd, &in, &inLeft, &to, &toLeft), 0u) << charset;
        EXPECT_EQ(iconv(cd, nullptr, nullptr, &to, &toLeft), 0u) << charset;
        iconv_close(cd);
        for (std::size_t i = 0; i < ascii.size(); ++i)
            EXPECT_EQ(out[i], static_cast<char32_t>(ascii[i])) << charset << " byte " << i + 1;

        const auto* bytes = reinterpret_cast<const std::uint8_t*>(ascii.data());
        EXPECT_EQ(hid::DecodeText(bytes, ascii.size(), charset),
                  std::u16string(ascii.begin(), ascii.end()))
            << charset;
    }
}

}  // namespace

namespace {

// CP1258's converter holds a letter back in case a combining mark follows:
// the last letter of a report must come out all the same.
TEST(DecodeText, LastLetterOfAVietnameseReportIsKept)
{
    const std::uint8_t report[] = {'V', 'i', 0xEA, 't', ' ', 0xE0};  // "Viêt à"
    EXPECT_EQ(hid::DecodeText(report, sizeof report, "CP1258"), u"Vi\u00EAt \u00E0");
}

}  // namespace
