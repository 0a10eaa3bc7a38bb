// Tells the user-interface thread that the reader thread stored new rows,
// without either waiting for the other. Only the news crosses: the rows
// themselves stay in the history until the user-interface thread reads
// them.
//
// The writer publishes every row, but asks the user-interface thread to
// come and take the news only when no request is outstanding. A request
// lasts from the ask until a Take finds nothing new (the user-interface
// thread takes once when asked, then once a frame): during a burst of
// reports the reader asks once, the box is updated once a frame, and the
// reader never wakes the user-interface thread in between.
#pragma once

#include <mutex>

class CDisplayMailbox {
public:
    // Any thread, after storing a row. True when the caller must ask the
    // user-interface thread to Take (no request is outstanding yet).
    bool Publish();

    // User-interface thread, answering the ask, and then once a frame:
    // true when something was published since the last take (the request
    // stays outstanding), false when nothing was (the request ends: the
    // next Publish asks again).
    bool Take();

private:
    std::mutex m_lock;
    bool m_bFresh = false;    // published and not yet taken
    bool m_bPending = false;  // a request is outstanding
};
