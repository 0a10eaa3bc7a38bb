// SystemCharset on Linux and macOS: the code page of the locale the
// environment names (on Windows it is the ANSI code page, tested there).
#include "codepage.h"

#include <gtest/gtest.h>

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
