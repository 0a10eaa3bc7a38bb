// One connection's writer: output reports go out one after the other on a
// thread of its own, so that a board that stops taking reports never holds
// up the caller for long.
//
// When Stop finds it inside a write, the writer is abandoned and closes the
// connection's handles itself once that write returns: its thread keeps
// the writer and the platform alive until then. Both handles wait for it,
// because some systems (Linux's hidraw) block the close of any node for as
// long as a write to any node is in progress.
//
// Threads:
// - Start, Send and Stop: the user-interface thread. Send blocks up to its
//   waitMs. Stop never waits for a write: it joins a thread that only
//   waits for work (within kStopWait, 500 ms), and abandons one inside a
//   write.
// - The thread calls Platform::Write (and, abandoned, Platform::Close) and
//   a late report's Done without any lock held; Stop calls the Done of
//   the reports it drops after its lock is released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "hid_platform.h"
#include "send_result.h"
#include "service_thread.h"

namespace hid {

class CReportWriter final : public CServiceThread {
public:
    // Beyond `maxPending` reports waiting, Send fails at once.
    CReportWriter(std::shared_ptr<Platform> pPlatform, Handle* hWrite, std::size_t maxPending)
        : m_pPlatform(std::move(pPlatform)), m_hWrite(hWrite), m_nMaxPending(maxPending)
    {
    }

    // Throws std::system_error when no thread can be made.
    void Start();

    // Called once with the final outcome of a report that Send left
    // Pending: on the writer's thread without any lock held, or on Stop's
    // caller for a report Stop drops (NoBoard).
    using Done = std::function<void(SendResult)>;

    // Queues one report and waits at most waitMs for it to be written:
    // Written, why it failed, or Pending when it was not written in time
    // (it stays queued and may still go out, in order; `done` tells how it
    // ended).
    SendResult Send(std::vector<std::uint8_t> report, int waitMs, Done done = nullptr);

    // Drops reports not yet begun and ends the thread. Inside a write, the
    // thread is abandoned with the read handle (whose reader has ended) and
    // closes both itself: returns true. Otherwise returns false: the caller
    // closes the write handle (WriteHandle) and the read handle.
    bool Stop(Handle* hRead);

    // Fixed from construction: read without the lock.
    Handle* WriteHandle() const { return m_hWrite; }

private:
    struct Job {
        std::vector<std::uint8_t> report;
        Done done;  // guarded by m_mutex: set by Send once it returns Pending
        SendResult state = SendResult::Pending;  // guarded by the writer's m_mutex
    };

    bool HasWork() const override { return !m_queue.empty(); }
    void DoWork(Lock& lock) override;
    void OnExit(Lock& lock) override;

    const std::shared_ptr<Platform> m_pPlatform;
    Handle* const m_hWrite;
    const std::size_t m_nMaxPending;
    std::deque<std::shared_ptr<Job>> m_queue;  // guarded by m_mutex
    Handle* m_hRead = nullptr;     // guarded by m_mutex: given at Stop when abandoned
    bool m_bAbandoned = false;     // guarded by m_mutex
};

}  // namespace hid
