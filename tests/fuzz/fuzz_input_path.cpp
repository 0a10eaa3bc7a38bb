// libFuzzer target: the road of a received line, from the raw bytes of the
// board's input reports to the rows the history box is given, and the
// road back for a typed line.
//
// Input: byte 0 picks the code page, byte 1 the report length (8..64) and
// how many times each report comes (1..5, so that the ring of 1000 rows
// wraps), the rest is cut into reports of that length. Each report is decoded as
// the device's reader does and fed to the history as the console does; the
// display side takes what changed every other report, as a box would.
// Checked on the way:
// - the decoded text is well-formed UTF-16 without U+0000;
// - where every byte is valid in the code page, nothing is lost: encoding
//   the text again gives the report's bytes back (UTF-8, Latin-1);
// - the feed asks for one display update while one is outstanding, and a
//   take with nothing new ends the request;
// - each change is rows gone from the top and rows added at the bottom,
//   or, only where the rows since the last take outran the box, a
//   replacement; applied, the box holds exactly the 1000 rows of a plain
//   model of the ring, each row the text cut after 64 units (63
//   where the 64th would split a surrogate pair);
// - one report is one row: no row the box is given holds a character at
//   which a text box may start a line or a block (controls, U+2028/U+2029,
//   noncharacters);
// - encoding the text for an output report of any length stays inside the
//   report, is zero-terminated and is never cut inside a character.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "codepage.h"
#include "history_feed.h"
#include "line_history.h"
#include "row_change.h"

namespace {

const char* const kCharsets[] = {"UTF-8", "ISO-8859-1", "EUC-JP", "CP932", "SHIFT_JIS", "GB18030"};
constexpr std::size_t kCharsetCount = sizeof kCharsets / sizeof kCharsets[0];

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool WellFormed(const std::u16string& s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == 0)
            return false;
        if (IsHigh(s[i])) {
            if (i + 1 >= s.size() || !IsLow(s[i + 1]))
                return false;
            ++i;
        } else if (IsLow(s[i])) {
            return false;
        }
    }
    return true;
}

bool IsNoncharacter(char32_t c) { return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE; }

// Characters at which a text box may end a line or a block.
bool Breaks(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029 || IsNoncharacter(c);
}

// The row the ring must keep for `text`: one line, every control visible,
// every noncharacter unknown.
std::u16string Cut(const std::u16string& text)
{
    std::u16string line = text.substr(0, text.find(u'\0'));
    std::size_t end = line.find_last_not_of(u"\r\n");
    line.resize(end == std::u16string::npos ? 0 : end + 1);
    std::u16string row;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char16_t c = line[i];
        if (IsHigh(c) && i + 1 < line.size() && IsLow(line[i + 1])) {
            const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (line[i + 1] - 0xDC00);
            if (IsNoncharacter(cp)) {
                row += u'\uFFFD';
            } else {
                row += c;
                row += line[i + 1];
            }
            ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F)
            c = c == 0x7F ? u'\u2421' : static_cast<char16_t>(0x2400 + c);
        else if ((c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029)
            c = u'\u2426';
        else if (IsNoncharacter(c))
            c = u'\uFFFD';
        row += c;
    }
    if (row.size() > std::size_t(CLineHistory::kMaxUnits)) {
        std::size_t n = CLineHistory::kMaxUnits;
        if (IsHigh(row[n - 1]))
            --n;
        row.resize(n);
    }
    return row;
}

// A row no text box can split: nothing in it, pairs decoded, breaks.
bool OneRow(const std::u16string& row)
{
    for (std::size_t i = 0; i < row.size(); ++i) {
        char32_t c = row[i];
        if (IsHigh(row[i]) && i + 1 < row.size() && IsLow(row[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (row[i + 1] - 0xDC00);
            ++i;
        }
        if (Breaks(c))
            return false;
    }
    return true;
}

constexpr std::size_t kStored = CLineHistory::kRows;

// The box as a window keeps it, and what it must hold.
struct Box {
    std::vector<std::u16string> rows;
    std::deque<std::u16string> model;
    std::size_t fresh = 0;  // rows stored since the last take

    void Take(CHistoryFeed& feed)
    {
        wsys::RowChange change;
        Check(feed.Take(change));
        const bool outran = rows.empty() || fresh >= kStored;
        Check(change.replace == outran);
        if (!outran) {
            Check(change.added.size() == fresh);
            Check(change.removed == rows.size() + fresh - std::min(rows.size() + fresh, kStored));
            Check(change.removed < rows.size());
        }
        for (const std::u16string& row : change.added)
            Check(OneRow(row));
        wsys::ApplyRowChange(rows, std::move(change));
        Check(rows.size() == model.size() && std::equal(rows.begin(), rows.end(), model.begin()));
        fresh = 0;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::string charset = kCharsets[data[0] % kCharsetCount];
    const bool bijective = charset == "UTF-8" || charset == "ISO-8859-1";
    const std::size_t length = 8 + data[1] % 57;
    const int repeats = 1 + data[1] / 57;
    data += 2;
    size -= 2;

    // The ring is 132 KB: off the stack.
    auto feed = std::make_unique<CHistoryFeed>();
    Box box;
    bool pending = false;
    for (std::size_t at = 0; at < size; at += length) {
        // Exactly the report's bytes on the heap, so a read past them shows.
        const std::size_t n = std::min(length, size - at);
        std::vector<std::uint8_t> report(data + at, data + at + n);

        const std::u16string text = hid::DecodeText(report.data(), report.size(), charset);
        Check(WellFormed(text));
        const std::size_t bytes =
            std::find(report.begin(), report.end(), 0) - report.begin();
        if (bijective && text.find(u'\xFFFD') == std::u16string::npos) {
            std::vector<std::uint8_t> again(bytes * 2 + 8, 0xAA);
            const std::size_t m = hid::EncodeText(text, again.data(), again.size(), charset);
            Check(m == bytes && std::memcmp(again.data(), report.data(), bytes) == 0
                  && again[m] == 0);
        }

        for (int r = 0; r < repeats; ++r) {
            Check(feed->Append(text, static_cast<std::int64_t>(at)) == !pending);
            pending = true;
            box.model.push_back(Cut(text));
            if (box.model.size() > kStored)
                box.model.pop_front();
            ++box.fresh;
        }

        // The display side takes every other turn.
        if (at / length % 2) {
            box.Take(*feed);
            // A frame with nothing new ends the request.
            wsys::RowChange none;
            Check(!feed->Take(none));
            pending = false;
        }

        // The typed-line road: any output length from 1 to 64 bytes.
        const std::size_t capacity = 1 + (n ? report[0] % 64 : 0);
        std::vector<std::uint8_t> out(capacity);
        const std::size_t m = hid::EncodeText(text, out.data(), capacity, charset);
        Check(m < capacity && out[m] == 0);
        if (charset == "UTF-8") {
            // A whole-character prefix: it decodes without a replacement
            // wherever the text itself had none.
            const std::u16string back = hid::DecodeText(out.data(), m, charset);
            Check(back.size() <= text.size() && text.compare(0, back.size(), back) == 0);
        }
    }
    if (pending)
        box.Take(*feed);
    wsys::RowChange none;
    Check(!feed->Take(none));
    return 0;
}
