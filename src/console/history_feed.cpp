#include "history_feed.h"

#include <algorithm>
#include <utility>

bool CHistoryFeed::Append(const std::u16string& text, std::int64_t timeMs)
{
    m_history.AppendLine(text, timeMs);
    return m_display.Publish();
}

bool CHistoryFeed::Take(wsys::RowChange& change)
{
    if (!m_display.Take())
        return false;
    change = Follow(m_history.RowsSince(m_shown.Since()));
    return true;
}

wsys::RowChange CHistoryFeed::Refill()
{
    m_shown.Clear();
    return Follow(m_history.RowsSince(0));
}

wsys::RowChange CHistoryFeed::Clear()
{
    m_history.Clear();
    return Follow(m_history.RowsSince(m_shown.Since()));
}

std::vector<wsys::RowChange> CHistoryFeed::ShowTimes(bool on)
{
    m_format.ShowTimes(on);
    // One look at the ring for both changes: the restyled rows are then
    // exactly those the box shows after the first.
    CLineHistory::Rows all = m_history.RowsSince(0);
    CLineHistory::Rows fresh{all.first, all.next, {}};
    const wsys::RowSerial since = std::clamp(m_shown.Since(), all.first, all.next);
    fresh.rows.assign(all.rows.begin() + static_cast<std::ptrdiff_t>(since - all.first),
                      all.rows.end());
    std::vector<wsys::RowChange> changes;
    if (wsys::RowChange change = Follow(std::move(fresh)); !change.Empty())
        changes.push_back(std::move(change));
    if (!all.rows.empty()) {
        wsys::RowChange restyle;
        restyle.replace = true;
        restyle.restyle = true;
        restyle.added = Render(all.rows);
        changes.push_back(std::move(restyle));
    }
    return changes;
}

std::u16string CHistoryFeed::ShownRows()
{
    CLineHistory::Rows all = m_history.RowsSince(0);
    std::u16string out;
    out.reserve(all.rows.size() * (m_format.ShowsTimes() ? 40 : 26));
    for (const CLineHistory::Row& row : all.rows) {
        out += m_format.Shown(row);
        out += u"\r\n";
    }
    return out;
}

wsys::RowChange CHistoryFeed::Follow(CLineHistory::Rows rows)
{
    return m_shown.Follow({rows.first, rows.next, Render(rows.rows)});
}

std::vector<std::u16string> CHistoryFeed::Render(std::vector<CLineHistory::Row>& rows)
{
    std::vector<std::u16string> shown;
    shown.reserve(rows.size());
    for (CLineHistory::Row& row : rows)
        shown.push_back(m_format.ShowsTimes() ? m_format.Shown(row) : std::move(row.text));
    return shown;
}
