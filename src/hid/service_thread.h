// The loop every thread of the device layer runs: sleep until there is
// work or a stop, take the work under the lock, do it with the lock
// released, note the outcome under the lock, again. The worker, the change
// watcher and each connection's writer are built on it.
//
// Threads:
// - StartLocked and Stop: the owner's thread (the user-interface thread),
//   with m_mutex held as each says. StartLocked never blocks; Stop waits as
//   long as the caller allows (see there), which is never without bound:
//   at most kStopWait in the device layer.
// - HasWork, DoWork and OnExit: the service thread, with m_mutex held.
//   DoWork and OnExit release it around anything that can block or that
//   calls out of the class (the platform, a poster): no lock of the device
//   layer is ever held across such a call.
//
// The thread owns a reference to the object, so that a thread left to
// finish a call stuck in the kernel keeps it (and what it holds) alive:
// make it with std::make_shared.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace hid {

class CServiceThread : public std::enable_shared_from_this<CServiceThread> {
public:
    using Lock = std::unique_lock<std::mutex>;

    // The longest a Stop waits for a thread that should end at once (it
    // only waits for work, or was woken from its wait): one that has not
    // ended by then is stuck in a call and left to end by itself.
    static constexpr std::chrono::milliseconds kStopWait{500};

    // Tests: while set, no thread of the device layer can be made, as on a
    // system with none to spare.
    static void RefuseThreads(bool refuse);

    virtual ~CServiceThread();
    CServiceThread(const CServiceThread&) = delete;
    CServiceThread& operator=(const CServiceThread&) = delete;

protected:
    CServiceThread() = default;

    // Starts the thread unless it runs. `lock` holds m_mutex. False once
    // stopped. Throws std::system_error when no thread can be made.
    bool StartLocked(Lock& lock);

    // Ends the loop: raises m_bStop and wakes the thread, calls `interrupt`
    // with the lock released (to end a call the thread may sleep in), then
    // waits at most `patience` for the thread to leave its loop. Joins it
    // if it did, and returns true (also when there was no thread); leaves
    // it to end by itself otherwise. The loop leaves once HasWork is false:
    // a derived class drops or keeps its queued work before calling this.
    bool Stop(Lock lock, std::chrono::milliseconds patience,
              const std::function<void()>& interrupt = nullptr);

    // Whether DoWork has something to do.
    virtual bool HasWork() const = 0;
    // One piece of work: entered and left with the lock held.
    virtual void DoWork(Lock& lock) = 0;
    // Last call on the thread, after the loop has ended.
    virtual void OnExit(Lock& lock) { (void)lock; }

    mutable std::mutex m_mutex;
    // Notified after every piece of work and at every change of what
    // m_mutex guards that a waiter may be waiting for.
    std::condition_variable m_cond;
    bool m_bStop = false;  // guarded by m_mutex
    bool m_bBusy = false;  // guarded by m_mutex: inside DoWork

private:
    void Run();

    std::thread m_thread;     // guarded by m_mutex
    bool m_bLooping = false;  // guarded by m_mutex: started, loop not left
};

}  // namespace hid
