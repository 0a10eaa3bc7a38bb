// Saving the history: the name offered, and the bytes of the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "history_save.h"
#include "test_zone.h"

namespace {

constexpr std::int64_t kHourMs = 3600 * 1000;

// Local time, to the second, with the local date: the date turns at local
// midnight, not at UTC's.
TEST(HistorySave, SuggestedNameIsTheLocalDateAndTime)
{
    UseZoneNineHoursEast();
    const struct {
        std::int64_t ms;
        const char16_t* name;
    } cases[] = {
        {kNewYear2027Ms, u"wendrel-20270101-090000.txt"},
        {kNewYear2027Ms + 999, u"wendrel-20270101-090000.txt"},
        {kNewYear2027Ms - 9 * kHourMs - 1, u"wendrel-20261231-235959.txt"},
        {kNewYear2027Ms - 9 * kHourMs, u"wendrel-20270101-000000.txt"},
        // 2028-02-29 12:34:56 local: a leap day.
        {kNewYear2027Ms + (424LL * 24 + 3) * kHourMs + (34 * 60 + 56) * 1000,
         u"wendrel-20280229-123456.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(history_save::SuggestedName(c.ms), c.name) << c.ms;
}

// UTF-8 without a byte-order mark, each row ended by the line break given;
// what is not a character becomes U+FFFD.
TEST(HistorySave, FileTextIsUtf8WithTheLineBreakGiven)
{
    const struct {
        std::u16string rows;
        const char* lineBreak;
        std::string file;
    } cases[] = {
        {u"", "\n", ""},
        {u"a\r\n", "\n", "a\n"},
        {u"a\r\n\r\nb\r\n", "\r\n", "a\r\n\r\nb\r\n"},
        {u"受信\r\n", "\n", "\xE5\x8F\x97\xE4\xBF\xA1\n"},
        {u"09:00:00.000  \U0001F600x\r\n", "\r\n", "09:00:00.000  \xF0\x9F\x98\x80x\r\n"},
        {std::u16string(u"a\xD800") + u"\r\n", "\n", "a\xEF\xBF\xBD\n"},
        {u"␍␊\r\n", "\n", "\xE2\x90\x8D\xE2\x90\x8A\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(history_save::FileText(c.rows, c.lineBreak), c.file)
            << ::testing::PrintToString(c.file);
}

}  // namespace
