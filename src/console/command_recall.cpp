#include "command_recall.h"

void CCommandRecall::Sent(const std::u16string& line)
{
    if (!line.empty() && (m_lines.empty() || m_lines.back() != line)) {
        m_lines.push_back(line);
        if (m_lines.size() > kMaxLines)
            m_lines.pop_front();
    }
    m_edits.clear();
    m_strTyping.clear();
    m_nAt = m_lines.size();
}

std::optional<std::u16string> CCommandRecall::Recall(bool older, const std::u16string& current)
{
    if (m_nAt > m_lines.size())
        m_nAt = m_lines.size();
    const std::size_t to = older ? m_nAt - 1 : m_nAt + 1;
    if (older ? m_nAt == 0 : m_nAt >= m_lines.size())
        return std::nullopt;

    // What the line shows now is kept for coming back to it.
    if (m_nAt == m_lines.size())
        m_strTyping = current;
    else if (current != m_lines[m_nAt])
        m_edits[m_nAt] = current;
    else
        m_edits.erase(m_nAt);

    m_nAt = to;
    if (m_nAt == m_lines.size())
        return m_strTyping;
    const auto edit = m_edits.find(m_nAt);
    return edit != m_edits.end() ? edit->second : m_lines[m_nAt];
}
