// Received rows on their way from the connection's reader thread to the
// history box. The reader only stores the row and its arrival time and,
// when no request is outstanding, asks the user-interface thread to come;
// that thread then reads what changed since what the box shows, once when
// asked and once a frame after that (see display_mailbox.h), and renders
// it as the box shows rows (row_format.h).
//
// While events are shown (event_log.h), the box shows them among the rows
// in the order things happened: the rows and the events of a frame are
// merged as they are rendered, so a frame costs what its own rows and
// events do.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "display_mailbox.h"
#include "event_log.h"
#include "line_history.h"
#include "row_change.h"
#include "row_format.h"

class CHistoryFeed {
public:
    // Reader thread: stores `text` as the next row, arrived at `timeMs`,
    // with the report's data `bytes`. True when the caller must ask the
    // user-interface thread to Take.
    bool Append(const std::u16string& text, std::int64_t timeMs,
                std::span<const std::uint8_t> bytes = {});

    // The rest on the user-interface thread.

    // Answering the ask and then once a frame: false, and the request
    // ended, when nothing was stored since the last take; otherwise true,
    // with what changed since what the box shows (nothing, where the box
    // shows it already).
    bool Take(wsys::RowChange& change);

    // A new box, which shows nothing yet. Returns what puts every stored
    // row into it.
    wsys::RowChange Refill();

    // Empties the history and its events; returns what empties the box.
    wsys::RowChange Clear();

    // Shows every row with its time, or without; its report's bytes, or
    // its text. Returns what the box is to do, in order: the rows it does
    // not show yet, then every row it shows, restyled.
    std::vector<wsys::RowChange> ShowTimes(bool on);
    bool ShowsTimes() const { return m_format.ShowsTimes(); }
    std::vector<wsys::RowChange> ShowBytes(bool on);
    bool ShowsBytes() const { return m_format.ShowsBytes(); }

    // Shows the events among the rows, or not; returns what the box is to
    // do, in order.
    std::vector<wsys::RowChange> ShowEvents(bool on);
    bool ShowsEvents() const { return m_bEvents; }

    // Where an event stands: before the row stored next, at `timeMs`.
    // Taken when a thing starts (a send), so that rows that come while it
    // runs (the board's answer) stand after it.
    struct Place {
        wsys::RowSerial before = 0;
        std::int64_t timeMs = 0;
    };
    Place Here(std::int64_t timeMs) const;

    // Records that `text` happened at `at` (no earlier than the last
    // event). True, with what the box is to do, when events are shown.
    bool RecordEvent(const Place& at, const std::u16string& text, wsys::RowChange& change);
    bool RecordEvent(const std::u16string& text, std::int64_t timeMs, wsys::RowChange& change)
    {
        return RecordEvent(Here(timeMs), text, change);
    }

    // Every stored row (and event, while shown) as the box shows it, each
    // followed by "\r\n", for the clipboard.
    std::u16string ShownRows();

private:
    // The serial from which the box needs rows.
    wsys::RowSerial Since() const;
    // What makes the box show `rows` (those from what it shows on).
    wsys::RowChange Follow(CLineHistory::Rows rows);
    wsys::RowChange FollowWithEvents(CLineHistory::Rows rows);
    std::vector<std::u16string> Render(std::vector<CLineHistory::Row>& rows);
    // `rows` (the first of them numbered `rowFrom`) and the events from
    // `eventFrom` on, rendered in the order they happened.
    std::vector<std::u16string> Merge(std::vector<CLineHistory::Row>& rows,
                                      wsys::RowSerial rowFrom, CEventLog::Serial eventFrom);
    void DropOldEvents(wsys::RowSerial firstRow);
    // The box made to show every stored row, then every row it shows
    // restyled.
    std::vector<wsys::RowChange> Restyle();
    std::vector<wsys::RowChange> CatchUp(const CLineHistory::Rows& all);

    CLineHistory m_history;
    CDisplayMailbox m_display;
    // User-interface thread only.
    CRowFormat m_format;
    CEventLog m_events;
    bool m_bEvents = false;
    // The first row since the start or the last clear: rows before the
    // oldest stored one were lost only once it is past this.
    wsys::RowSerial m_nFloor = 0;
    // What the box shows: while events are hidden, the rows m_shown says;
    // while they are shown, the rows and the events below.
    wsys::CShownRows m_shown;
    struct Shown {
        wsys::RowSerial rowFirst = 0;
        wsys::RowSerial rowNext = 0;
        CEventLog::Serial eventFirst = 0;
        CEventLog::Serial eventNext = 0;
    } m_merged;
};
