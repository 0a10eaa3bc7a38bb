#include "history_feed.h"

#include <utility>

bool CHistoryFeed::Append(const std::u16string& text)
{
    m_history.AppendLine(text);
    return m_display.Publish();
}

bool CHistoryFeed::Take(wsys::RowChange& change)
{
    if (!m_display.Take())
        return false;
    change = Follow();
    return true;
}

wsys::RowChange CHistoryFeed::Refill()
{
    m_shown.Clear();
    return Follow();
}

wsys::RowChange CHistoryFeed::Follow()
{
    CLineHistory::Visible v = m_history.VisibleSince(m_shown.Since());
    return m_shown.Follow({v.first, v.next, std::move(v.rows)});
}
