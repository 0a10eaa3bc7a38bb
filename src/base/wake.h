// A wake-up that one thread gives another which sleeps on it together with
// other things: on Linux an eventfd, polled beside a device node or a
// socket; on Windows a manual-reset event, waited on beside an overlapped
// read. One per sleeper; it stays signalled until the sleeper clears it,
// so a signal given before the sleep starts is not lost.
#pragma once

#include <cstdint>

namespace base {

class CWake {
public:
    // A system that gives no wake-up (no descriptor or handle left) leaves
    // it invalid: Signal and Clear then do nothing, and the caller must
    // wake its sleeper some other way.
    CWake();
    ~CWake();

    CWake(const CWake&) = delete;
    CWake& operator=(const CWake&) = delete;

    bool Valid() const;

    // Any thread; never blocks. Signals given before the next Clear count
    // as one.
    void Signal();

    // The sleeper's thread, after it woke: true when it had been signalled.
    bool Clear();

    // What the sleeper waits on: the eventfd to poll for POLLIN (Linux), or
    // the event's HANDLE (Windows).
    std::intptr_t Native() const { return m_native; }

private:
    std::intptr_t m_native;
};

}  // namespace base
