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
    return c;
}

}  // namespace

std::u16string CLineHistory::RowText(const std::u16string& text)
{
    std::u16string row = text.substr(0, text.find(u'\0'));
    // Firmware ends its lines as a terminal wants them; the row is the line.
    while (!row.empty() && (row.back() == u'\r' || row.back() == u'\n'))
        row.pop_back();
    for (char16_t& c : row)
        c = StandIn(c);
    return row;
}

CLineHistory::Serial CLineHistory::AppendLine(const std::u16string& text)
{
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

    m_nNextLine = Advance(m_nNextLine);
    if (m_nNextSerial >= kVisible)
        m_nTopLine = Advance(m_nTopLine);
    return m_nNextSerial++;
}

CLineHistory::Visible CLineHistory::VisibleSince(Serial since) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    Visible v;
    v.next = m_nNextSerial;
    v.first = v.next - std::min<Serial>(v.next, kVisible);
    const Serial from = std::clamp(since, v.first, v.next);
    v.rows.reserve(static_cast<std::size_t>(v.next - from));
    int d = static_cast<int>((m_nTopLine + (from - v.first)) % kRows);
    for (Serial s = from; s < v.next; ++s) {
        v.rows.emplace_back(m_szLines[d]);
        d = Advance(d);
    }
    return v;
}

std::u16string CLineHistory::StoredRows() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    const int stored = static_cast<int>(std::min<Serial>(m_nNextSerial, kRows));
    std::u16string out;
    out.reserve(static_cast<std::size_t>(stored) * 24);
    int d = (m_nNextLine - stored + kRows) % kRows;
    for (int i = 0; i < stored; ++i) {
        out += m_szLines[d];
        out += u"\r\n";
        d = Advance(d);
    }
    return out;
}

int CLineHistory::NextLine() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nNextLine;
}

int CLineHistory::TopLine() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nTopLine;
}
