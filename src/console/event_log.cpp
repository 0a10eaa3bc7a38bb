#include "event_log.h"

#include <algorithm>
#include <utility>

void CEventLog::Record(CLineHistory::Serial before, std::int64_t timeMs, std::u16string text)
{
    // Kept in order: one that would stand before the last stands with it.
    if (!m_events.empty())
        before = std::max(before, m_events.back().before);
    m_events.push_back({before, timeMs, std::move(text)});
    if (m_events.size() > kMaxEvents)
        DropOldest();
}

void CEventLog::DropOlderThan(CLineHistory::Serial firstRow, bool rowsLost)
{
    while (!m_events.empty() &&
           (m_events.front().before < firstRow || (rowsLost && m_events.front().before == firstRow)))
        DropOldest();
}

void CEventLog::Clear()
{
    m_nFirst += m_events.size();
    m_events.clear();
}

void CEventLog::DropOldest()
{
    m_nLastDroppedBefore = m_events.front().before;
    m_events.pop_front();
    ++m_nFirst;
}
