// The functions other threads hand to a window's user-interface thread.
// Any thread posts; the window's thread drains. The queue only says when
// the window must be woken, which each window system does its own way (an
// eventfd, a window message, a condition): once after each drain, so a
// burst of posts costs one wake-up.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

namespace wsys {

class CPostQueue {
public:
    CPostQueue() = default;
    CPostQueue(const CPostQueue&) = delete;
    CPostQueue& operator=(const CPostQueue&) = delete;

    // Any thread; never waits for the user-interface thread. True when the
    // caller must wake the window: the first post since the last drain.
    // Once closed, `fn` is dropped (destroyed outside the lock: it may hold
    // the last reference to something that posts in its destructor).
    bool Post(std::function<void()> fn);

    // The wake-up the last true Post asked for did not happen: the next
    // post asks again, and Unannounced tells a backstop to drain.
    void WakeLost();
    // Functions wait with no wake-up on its way to them.
    bool Unannounced() const;

    // User-interface thread: runs every function posted before the call,
    // in order; functions they post wait for the next drain. Returns how
    // many ran.
    int Drain();

    // The window is gone: what waits and whatever is posted later is
    // dropped. Dropped here, on the user-interface thread: a posted
    // function must hold nothing whose destruction waits (an open's
    // handles are closed elsewhere when it goes).
    void Close();

private:
    mutable std::mutex m_lock;
    std::vector<std::function<void()>> m_pending;
    bool m_bWoken = false;  // a wake-up is on its way for what waits
    bool m_bClosed = false;
};

}  // namespace wsys
