// Hands the newest rendered history from the reader thread to the
// user-interface thread without either waiting for the other.
//
// The writer publishes every rendering, but asks the user-interface thread
// to come and take it only when no request is outstanding. A request lasts
// from the ask until a Take finds nothing new (the user-interface thread
// takes once when asked, then once a frame): during a burst of reports the
// reader asks once, the box is updated once a frame with the latest text,
// and the reader never wakes the user-interface thread in between.
#pragma once

#include <mutex>
#include <string>

class CDisplayMailbox {
public:
    // Any thread. Replaces the held text; true when the caller must ask the
    // user-interface thread to Take (no request is outstanding yet).
    bool Publish(std::u16string text);

    // User-interface thread, answering the ask, and then once a frame:
    // takes the latest text and keeps the request outstanding (true), or,
    // when nothing was published since the last take, ends the request
    // (false): the next Publish asks again.
    bool Take(std::u16string& text);

private:
    std::mutex m_lock;
    std::u16string m_text;
    bool m_bFresh = false;    // published and not yet taken
    bool m_bPending = false;  // a request is outstanding
};
