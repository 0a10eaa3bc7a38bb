// Received rows on their way from the connection's reader thread to the
// history box. The reader only stores the row and its arrival time and,
// when no request is outstanding, asks the user-interface thread to come;
// that thread then reads what changed since what the box shows, once when
// asked and once a frame after that (see display_mailbox.h), and renders
// it as the box shows rows (row_format.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display_mailbox.h"
#include "line_history.h"
#include "row_change.h"
#include "row_format.h"

class CHistoryFeed {
public:
    // Reader thread: stores `text` as the next row, arrived at `timeMs`.
    // True when the caller must ask the user-interface thread to Take.
    bool Append(const std::u16string& text, std::int64_t timeMs);

    // The rest on the user-interface thread.

    // Answering the ask and then once a frame: false, and the request
    // ended, when nothing was stored since the last take; otherwise true,
    // with what changed since what the box shows (nothing, where the box
    // shows it already).
    bool Take(wsys::RowChange& change);

    // A new box, which shows nothing yet. Returns what puts every stored
    // row into it.
    wsys::RowChange Refill();

    // Empties the history; returns what empties the box.
    wsys::RowChange Clear();

    // Shows every row with its time, or without. Returns what the box is
    // to do, in order: the rows it does not show yet, then every row it
    // shows, restyled.
    std::vector<wsys::RowChange> ShowTimes(bool on);
    bool ShowsTimes() const { return m_format.ShowsTimes(); }

    // Every stored row as the box shows it, each followed by "\r\n", for
    // the clipboard.
    std::u16string ShownRows();

private:
    // What makes the box show `rows` (those from what it shows on).
    wsys::RowChange Follow(CLineHistory::Rows rows);
    std::vector<std::u16string> Render(std::vector<CLineHistory::Row>& rows);

    CLineHistory m_history;
    CDisplayMailbox m_display;
    // User-interface thread only.
    wsys::CShownRows m_shown;
    CRowFormat m_format;
};
