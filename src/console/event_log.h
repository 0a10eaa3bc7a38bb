// What happened at the console besides the rows it received: the board
// connected or went, a line was sent or could not be. Each event is placed
// before the row the history will store next, so that shown among the
// rows it stands where it happened. At most kMaxEvents are kept, and none
// older than the oldest stored row. User-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "line_history.h"

class CEventLog {
public:
    static constexpr std::size_t kMaxEvents = 1000;
    // 0 for the first event ever recorded, one more for each after it.
    using Serial = std::uint64_t;

    struct Event {
        CLineHistory::Serial before = 0;  // the row it came before
        std::int64_t timeMs = 0;
        std::u16string text;
    };

    // The oldest goes once there are more than kMaxEvents. Never before
    // the last event recorded.
    void Record(CLineHistory::Serial before, std::int64_t timeMs, std::u16string text);
    // Drops the events older than the oldest stored row `firstRow`: those
    // before an older row, and, where older rows were lost (`rowsLost`),
    // those that came just before `firstRow` too.
    void DropOlderThan(CLineHistory::Serial firstRow, bool rowsLost);
    void Clear();

    // The kept events are those from First() up to, not including, Next().
    Serial First() const { return m_nFirst; }
    Serial Next() const { return m_nFirst + m_events.size(); }
    const Event& At(Serial serial) const { return m_events[serial - m_nFirst]; }
    // The row the newest event dropped (not cleared) came before.
    CLineHistory::Serial LastDroppedBefore() const { return m_nLastDroppedBefore; }

private:
    void DropOldest();

    std::deque<Event> m_events;
    Serial m_nFirst = 0;
    CLineHistory::Serial m_nLastDroppedBefore = 0;
};
