#include "history_feed.h"

#include <algorithm>
#include <limits>
#include <utility>

bool CHistoryFeed::Append(const std::u16string& text, std::int64_t timeMs,
                          std::span<const std::uint8_t> bytes)
{
    m_history.AppendLine(text, timeMs, bytes);
    return m_display.Publish();
}

bool CHistoryFeed::Take(wsys::RowChange& change)
{
    if (!m_display.Take())
        return false;
    change = Follow(m_history.RowsSince(Since()));
    return true;
}

wsys::RowChange CHistoryFeed::Refill()
{
    m_shown.Clear();
    m_merged = {0, 0, m_events.First(), m_events.First()};
    return Follow(m_history.RowsSince(0));
}

wsys::RowChange CHistoryFeed::Clear()
{
    m_history.Clear();
    m_events.Clear();
    CLineHistory::Rows rows = m_history.RowsSince(Since());
    m_nFloor = rows.first;
    return Follow(std::move(rows));
}

std::vector<wsys::RowChange> CHistoryFeed::ShowTimes(bool on)
{
    m_format.ShowTimes(on);
    return Restyle();
}

std::vector<wsys::RowChange> CHistoryFeed::ShowBytes(bool on)
{
    m_format.ShowBytes(on);
    return Restyle();
}

// What brings the box up to `all` (a look at every stored row), if
// anything: the rows it does not show yet.
std::vector<wsys::RowChange> CHistoryFeed::CatchUp(const CLineHistory::Rows& all)
{
    CLineHistory::Rows fresh{all.first, all.next, {}};
    const wsys::RowSerial since = std::clamp(Since(), all.first, all.next);
    fresh.rows.assign(all.rows.begin() + static_cast<std::ptrdiff_t>(since - all.first),
                      all.rows.end());
    std::vector<wsys::RowChange> changes;
    if (wsys::RowChange change = Follow(std::move(fresh)); !change.Empty())
        changes.push_back(std::move(change));
    return changes;
}

std::vector<wsys::RowChange> CHistoryFeed::Restyle()
{
    // One look at the ring for both changes: the restyled rows are then
    // exactly those the box shows after the first.
    CLineHistory::Rows all = m_history.RowsSince(0);
    std::vector<wsys::RowChange> changes = CatchUp(all);
    wsys::RowChange restyle;
    restyle.replace = true;
    restyle.restyle = true;
    restyle.added = m_bEvents ? Merge(all.rows, all.first, m_events.First()) : Render(all.rows);
    if (!restyle.added.empty())
        changes.push_back(std::move(restyle));
    return changes;
}

std::vector<wsys::RowChange> CHistoryFeed::ShowEvents(bool on)
{
    // The box first shows every stored row as it is; then the events come
    // or go, which is the same rows restyled where there are none.
    CLineHistory::Rows all = m_history.RowsSince(0);
    std::vector<wsys::RowChange> changes = CatchUp(all);
    DropOldEvents(all.first);
    const bool none = m_events.First() == m_events.Next();
    const bool shown = !all.rows.empty() || (m_bEvents && !none);
    m_bEvents = on;
    wsys::RowChange change;
    change.replace = true;
    change.restyle = none;
    if (on) {
        change.added = Merge(all.rows, all.first, m_events.First());
        m_merged = {all.first, all.next, m_events.First(), m_events.Next()};
    } else {
        m_shown.Clear();
        change.added = m_shown.Follow({all.first, all.next, Render(all.rows)}).added;
    }
    if (shown || !change.added.empty())
        changes.push_back(std::move(change));
    return changes;
}

CHistoryFeed::Place CHistoryFeed::Here(std::int64_t timeMs) const
{
    return {m_history.RowsSince(std::numeric_limits<CLineHistory::Serial>::max()).next, timeMs};
}

bool CHistoryFeed::RecordEvent(const Place& at, const std::u16string& text,
                               wsys::RowChange& change)
{
    m_events.Record(at.before, at.timeMs, CLineHistory::RowText(text));
    if (!m_bEvents)
        return false;
    change = Follow(m_history.RowsSince(Since()));
    return !change.Empty();
}

std::u16string CHistoryFeed::ShownRows()
{
    CLineHistory::Rows all = m_history.RowsSince(0);
    std::vector<std::u16string> shown;
    if (m_bEvents) {
        DropOldEvents(all.first);
        shown = Merge(all.rows, all.first, m_events.First());
    } else {
        shown = Render(all.rows);
    }
    std::size_t size = 0;
    for (const std::u16string& row : shown)
        size += row.size() + 2;
    std::u16string out;
    out.reserve(size);
    for (const std::u16string& row : shown) {
        out += row;
        out += u"\r\n";
    }
    return out;
}

wsys::RowSerial CHistoryFeed::Since() const
{
    return m_bEvents ? m_merged.rowNext : m_shown.Since();
}

wsys::RowChange CHistoryFeed::Follow(CLineHistory::Rows rows)
{
    if (m_bEvents)
        return FollowWithEvents(std::move(rows));
    return m_shown.Follow({rows.first, rows.next, Render(rows.rows)});
}

// The box shows rows [rowFirst, rowNext) and events [eventFirst,
// eventNext); `rows` are those from rowNext on, or every stored row where
// the box fell behind. What goes does so from the top, where the rows and
// events that go are all older than those that stay; otherwise (the
// event limit took one from among rows still shown, the history was
// cleared) the box is given everything again.
wsys::RowChange CHistoryFeed::FollowWithEvents(CLineHistory::Rows rows)
{
    Shown& m = m_merged;
    DropOldEvents(rows.first);
    const CEventLog::Serial eventFirst = m_events.First();
    const wsys::RowSerial rowFrom = rows.next - rows.rows.size();
    const bool rowsCarryOn = rowFrom == m.rowNext;
    const wsys::RowSerial keptRowFirst = std::clamp(rows.first, m.rowFirst, m.rowNext);
    const CEventLog::Serial keptEventFirst = std::clamp(eventFirst, m.eventFirst, m.eventNext);
    const bool rowsKept = rowsCarryOn && keptRowFirst < m.rowNext;
    const bool eventsKept = keptEventFirst < m.eventNext;
    bool carriesOn = rowsCarryOn && (rowsKept || eventsKept);
    if (carriesOn && rowsKept && keptEventFirst > m.eventFirst &&
        m_events.LastDroppedBefore() > keptRowFirst)
        carriesOn = false;
    if (carriesOn && eventsKept && keptRowFirst > m.rowFirst &&
        m_events.At(keptEventFirst).before < keptRowFirst)
        carriesOn = false;
    // An event that stands before a row the box shows already.
    const CEventLog::Serial eventFresh = std::max(m.eventNext, eventFirst);
    if (carriesOn && eventFresh < m_events.Next() && m_events.At(eventFresh).before < m.rowNext)
        carriesOn = false;

    const bool wasShown = m.rowFirst < m.rowNext || m.eventFirst < m.eventNext;
    wsys::RowChange change;
    if (carriesOn) {
        change.removed = static_cast<std::size_t>((keptRowFirst - m.rowFirst) +
                                                  (keptEventFirst - m.eventFirst));
        change.added = Merge(rows.rows, rowFrom, eventFresh);
        m.rowFirst = keptRowFirst;
    } else {
        // Where the box keeps rows it can no longer keep, it is given them
        // again.
        if (rowFrom > rows.first)
            rows = m_history.RowsSince(0);
        const wsys::RowSerial from = rows.next - rows.rows.size();
        change.added = Merge(rows.rows, from, eventFirst);
        change.replace = wasShown || !change.added.empty();
        m.rowFirst = from;
    }
    m.rowNext = rows.next;
    m.eventFirst = eventFirst;
    m.eventNext = m_events.Next();
    return change;
}

std::vector<std::u16string> CHistoryFeed::Render(std::vector<CLineHistory::Row>& rows)
{
    std::vector<std::u16string> shown;
    shown.reserve(rows.size());
    const bool plain = !m_format.ShowsTimes() && !m_format.ShowsBytes();
    for (CLineHistory::Row& row : rows)
        shown.push_back(plain ? std::move(row.text) : m_format.Shown(row));
    return shown;
}

std::vector<std::u16string> CHistoryFeed::Merge(std::vector<CLineHistory::Row>& rows,
                                                wsys::RowSerial rowFrom,
                                                CEventLog::Serial eventFrom)
{
    const CEventLog::Serial eventNext = m_events.Next();
    CEventLog::Serial e = std::max(eventFrom, m_events.First());
    std::vector<std::u16string> shown;
    shown.reserve(rows.size() + static_cast<std::size_t>(eventNext - e));
    const bool plain = !m_format.ShowsTimes() && !m_format.ShowsBytes();
    wsys::RowSerial serial = rowFrom;
    for (CLineHistory::Row& row : rows) {
        for (; e < eventNext && m_events.At(e).before <= serial; ++e)
            shown.push_back(m_format.ShownEvent(m_events.At(e).timeMs, m_events.At(e).text));
        shown.push_back(plain ? std::move(row.text) : m_format.Shown(row));
        ++serial;
    }
    for (; e < eventNext; ++e)
        shown.push_back(m_format.ShownEvent(m_events.At(e).timeMs, m_events.At(e).text));
    return shown;
}

void CHistoryFeed::DropOldEvents(wsys::RowSerial firstRow)
{
    m_events.DropOlderThan(firstRow, firstRow > m_nFloor);
}
