// Hands the newest rendered history from the reader thread to the
// user-interface thread without either waiting for the other.
//
// The writer publishes every rendering, but asks the user-interface thread
// to come and take it only when no request is outstanding: a burst of
// reports costs one display update per turn of the event loop, and the
// update always shows the latest text.
#pragma once

#include <mutex>
#include <string>

class CDisplayMailbox {
public:
    // Any thread. Replaces the held text; true when the caller must ask the
    // user-interface thread to Take (no request is outstanding yet).
    bool Publish(std::u16string text);

    // User-interface thread. Takes the latest text and ends the outstanding
    // request; false when nothing was published since the last Take.
    bool Take(std::u16string& text);

private:
    std::mutex m_lock;
    std::u16string m_text;
    bool m_bPending = false;
};
