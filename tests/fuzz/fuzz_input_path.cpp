// libFuzzer target: the road of a received line, from the raw bytes of the
// board's input reports to the text the history box is given, and the
// road back for a typed line.
//
// Input: byte 0 picks the code page, byte 1 the report length (8..64),
// the rest is cut into reports of that length. Each report is decoded as
// the device's reader does, appended to the history as the console does,
// and published through the display mailbox. Checked on the way:
// - the decoded text is well-formed UTF-16 without U+0000;
// - where every byte is valid in the code page, nothing is lost: encoding
//   the text again gives the report's bytes back (UTF-8, Latin-1);
// - the rendered window is exactly the newest 18 rows of a plain model of
//   the ring, each row the text cut after 64 units (63 where the 64th
//   would split a surrogate pair);
// - the mailbox hands over the latest rendering, and asks for one display
//   update while one is outstanding;
// - encoding the text for an output report of any length stays inside the
//   report, is zero-terminated and is never cut inside a character.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "codepage.h"
#include "display_mailbox.h"
#include "line_history.h"

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

// The row the ring must keep for `text`: one line, every control visible.
std::u16string Cut(const std::u16string& text)
{
    std::u16string row = text.substr(0, text.find(u'\0'));
    std::size_t end = row.find_last_not_of(u"\r\n");
    row.resize(end == std::u16string::npos ? 0 : end + 1);
    for (char16_t& c : row) {
        if (c < 0x20 || c == 0x7F)
            c = c == 0x7F ? u'\u2421' : static_cast<char16_t>(0x2400 + c);
        else if ((c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029)
            c = u'\u2426';
    }
    if (row.size() > std::size_t(CLineHistory::kMaxUnits)) {
        std::size_t n = CLineHistory::kMaxUnits;
        if (IsHigh(row[n - 1]))
            --n;
        row.resize(n);
    }
    return row;
}

struct Session {
    CLineHistory history;
    std::deque<std::u16string> model;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::string charset = kCharsets[data[0] % kCharsetCount];
    const bool bijective = charset == "UTF-8" || charset == "ISO-8859-1";
    const std::size_t length = 8 + data[1] % 57;
    data += 2;
    size -= 2;

    Session s;
    CDisplayMailbox mailbox;
    bool pending = false;
    std::u16string rendered;
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

        rendered = s.history.AppendLine(text);
        s.model.push_back(Cut(text));
        if (s.model.size() > std::size_t(CLineHistory::kVisible))
            s.model.pop_front();
        std::u16string expected;
        for (std::size_t i = 0; i < s.model.size(); ++i)
            expected += (i ? u"\r\n" : u"") + s.model[i];
        Check(rendered == expected);

        // The display side takes every other turn.
        Check(mailbox.Publish(rendered) == !pending);
        pending = true;
        if (at / length % 2) {
            std::u16string shown;
            Check(mailbox.Take(shown) && shown == rendered);
            // A frame with nothing new ends the request.
            Check(!mailbox.Take(shown));
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
    std::u16string shown;
    Check(mailbox.Take(shown) == pending);
    return 0;
}
