#include "line_history.h"

#include <algorithm>

#include "utf16.h"

namespace {

int Advance(int row) { return row + 1 == CLineHistory::kRows ? 0 : row + 1; }

char16_t StandIn(char16_t c)
{
    if (c < 0x20)
        return static_cast<char16_t>(0x2400 + c);
    if (c == 0x7F)
        return u'\u2421';
    if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029)
        return CLineHistory::kOtherControl;
    // Noncharacters are for a program's own use: a text box may take
    // U+FDD0/U+FDD1 for its own frame marks and start a new block there.
    if ((c >= 0xFDD0 && c <= 0xFDEF) || c >= 0xFFFE)
        return CLineHistory::kUnknown;
    return c;
}

// U+xxFFFE and U+xxFFFF of planes 1 to 16: a high surrogate whose low ten
// bits are all set, then U+DFFE or U+DFFF.
bool IsNoncharacterPair(char16_t high, char16_t low)
{
    return text::IsHighSurrogate(high) && (high & 0x3F) == 0x3F && (low == 0xDFFE || low == 0xDFFF);
}

}  // namespace

std::u16string CLineHistory::RowText(const std::u16string& text)
{
    std::u16string row = text.substr(0, text.find(u'\0'));
    // Firmware ends its lines as a terminal wants them; the row is the line.
    while (!row.empty() && (row.back() == u'\r' || row.back() == u'\n'))
        row.pop_back();
    std::u16string shown;
    shown.reserve(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i + 1 < row.size() && IsNoncharacterPair(row[i], row[i + 1])) {
            shown += CLineHistory::kUnknown;
            ++i;
        } else {
            shown += StandIn(row[i]);
        }
    }
    return shown;
}

CLineHistory::Serial CLineHistory::AppendLine(const std::u16string& text, std::int64_t timeMs,
                                              std::span<const std::uint8_t> bytes)
{
    std::size_t used = bytes.size();
    while (used > 0 && bytes[used - 1] == 0)
        --used;
    const std::size_t kept = std::min(used, static_cast<std::size_t>(kMaxBytes));
    const std::u16string clean = RowText(text);
    std::lock_guard<std::mutex> lock(m_lock);
    char16_t* row = m_szLines[m_nNextLine];
    int n = 0;
    while (n < kMaxUnits && n < static_cast<int>(clean.size())) {
        row[n] = clean[n];
        ++n;
    }
    // A pair cut in half would show as a broken character; drop its first
    // half instead.
    if (n == kMaxUnits && text::IsHighSurrogate(row[n - 1]) && static_cast<int>(clean.size()) > n)
        --n;
    row[n] = u'\0';
    m_nTimes[m_nNextLine] = timeMs;
    std::copy_n(bytes.data(), kept, m_nBytes[m_nNextLine]);
    m_nByteCounts[m_nNextLine] = static_cast<std::uint8_t>(kept);
    m_bBytesCut[m_nNextLine] = used > kept;

    m_nNextLine = Advance(m_nNextLine);
    m_nStored = std::min(m_nStored + 1, kRows);
    return m_nNextSerial++;
}

CLineHistory::Rows CLineHistory::RowsSince(Serial since) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    Rows r;
    r.next = m_nNextSerial;
    r.first = r.next - static_cast<Serial>(m_nStored);
    const Serial from = std::clamp(since, r.first, r.next);
    const int count = static_cast<int>(r.next - from);
    r.rows.reserve(static_cast<std::size_t>(count));
    int d = (m_nNextLine - count + kRows) % kRows;
    for (int i = 0; i < count; ++i) {
        Row& row = r.rows.emplace_back();
        row.text = m_szLines[d];
        row.timeMs = m_nTimes[d];
        row.byteCount = m_nByteCounts[d];
        std::copy_n(m_nBytes[d], row.byteCount, row.bytes);
        row.bytesCut = m_bBytesCut[d];
        d = Advance(d);
    }
    return r;
}

void CLineHistory::Clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_nStored = 0;
}

int CLineHistory::NextLine() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nNextLine;
}

int CLineHistory::StoredCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nStored;
}
