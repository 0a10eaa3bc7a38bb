// Received rows on their way from the connection's reader thread to the
// history box. The reader only stores the row and, when no request is
// outstanding, asks the user-interface thread to come; that thread then
// reads what changed since what the box shows, once when asked and once a
// frame after that (see display_mailbox.h).
#pragma once

#include <string>

#include "display_mailbox.h"
#include "line_history.h"
#include "row_change.h"

class CHistoryFeed {
public:
    // Reader thread: stores `text` as the next row. True when the caller
    // must ask the user-interface thread to Take.
    bool Append(const std::u16string& text);

    // User-interface thread, answering the ask and then once a frame:
    // false, and the request ended, when nothing was stored since the last
    // take; otherwise true, with what changed since what the box shows
    // (nothing, where the box shows it already).
    bool Take(wsys::RowChange& change);

    // User-interface thread: a new box, which shows nothing yet. Returns
    // what puts every visible row stored so far into it.
    wsys::RowChange Refill();

    // Every stored row, for the clipboard. Any thread.
    std::u16string StoredRows() const { return m_history.StoredRows(); }

private:
    wsys::RowChange Follow();

    CLineHistory m_history;
    CDisplayMailbox m_display;
    wsys::CShownRows m_shown;  // user-interface thread only
};
