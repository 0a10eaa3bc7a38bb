#include "line_history.h"

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

std::u16string CLineHistory::AppendLine(const std::u16string& text)
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
    if (m_nStored < kRows)
        ++m_nStored;
    const int size = m_nNextLine > m_nTopLine ? m_nNextLine - m_nTopLine
                                              : m_nNextLine - m_nTopLine + kRows;
    if (size > kVisible)
        m_nTopLine = Advance(m_nTopLine);
    return Render();
}

std::u16string CLineHistory::Render() const
{
    std::u16string out;
    out.reserve(kVisible * (kMaxUnits + 2));
    int d = m_nTopLine;
    for (int i = 0; i < kVisible + 1; ++i) {
        out += m_szLines[d];
        d = Advance(d);
        if (d == m_nNextLine)
            break;
        out += u"\r\n";
    }
    return out;
}

std::u16string CLineHistory::StoredRows() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::u16string out;
    out.reserve(static_cast<std::size_t>(m_nStored) * 24);
    int d = (m_nNextLine - m_nStored + kRows) % kRows;
    for (int i = 0; i < m_nStored; ++i) {
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
