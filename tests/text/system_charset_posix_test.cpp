// SystemCharset on Linux: the code page of the locale the
// environment names (on Windows it is the ANSI code page, tested there).
#include "codepage.h"
#include "system_decode.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
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

std::optional<std::u16string> SystemDecode(const std::string& charset, const std::string& bytes)
{
    const char* utf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
    iconv_t cd = iconv_open(utf16, charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string in = bytes;
    std::u16string out(2 * in.size() + 4, u'\0');  // ample for a code page
    char* from = in.data();
    std::size_t fromLeft = in.size();
    char* to = reinterpret_cast<char*>(out.data());
    std::size_t toLeft = out.size() * sizeof(char16_t);
    const bool ok = iconv(cd, &from, &fromLeft, &to, &toLeft) != static_cast<std::size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &to, &toLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(out.size() - toLeft / sizeof(char16_t));
    return out;
}

namespace {

// CP1258's converter holds a letter back in case a combining mark follows:
// the last letter of a report must come out all the same.
TEST(DecodeText, LastLetterOfAVietnameseReportIsKept)
{
    const std::uint8_t report[] = {'V', 'i', 0xEA, 't', ' ', 0xE0};  // "Viêt à"
    EXPECT_EQ(hid::DecodeText(report, sizeof report, "CP1258"), u"Vi\u00EAt \u00E0");
}

}  // namespace
