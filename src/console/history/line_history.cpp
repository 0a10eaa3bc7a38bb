#include "line_history.h"

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

int Advance(int row) { return row + 1 == CLineHistory::kRows ? 0 : row + 1; }

}  // namespace

std::u16string CLineHistory::AppendLine(const std::u16string& text)
{
    char16_t* row = m_szLines[m_nNextLine];
    int n = 0;
    while (n < kMaxUnits && n < static_cast<int>(text.size()) && text[n] != u'\0') {
        row[n] = text[n];
        ++n;
    }
    // A pair cut in half would show as a broken character; drop its first
    // half instead.
    if (n == kMaxUnits && IsHighSurrogate(row[n - 1]) && static_cast<int>(text.size()) > n
        && text[n] != u'\0')
        --n;
    row[n] = u'\0';

    m_nNextLine = Advance(m_nNextLine);
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
