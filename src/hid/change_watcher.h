// Sleeps in the platform's wait for device changes while a caller waits
// for one, and hands that caller's function to the worker's poster when
// one comes. Armed for one answer at a time, so that an unread change (the
// wait would return at once) never makes it spin.
//
// Threads:
// - Start, Arm and Stop: the user-interface thread. Start and Arm never
//   block. Stop interrupts the platform's wait (StopWaiting) and waits for
//   the thread to end, which is at once, or at most kStopWait (500 ms) for
//   a wait that ignores StopWaiting: that thread is left to end by itself,
//   and keeps what it uses alive.
// - Fire: any thread (the watcher's own, the connection's reader). Never
//   blocks but for the worker's Post.
// - The thread sleeps in Platform::WaitChanged without any lock held.
#pragma once

#include <functional>
#include <memory>

#include "device_worker.h"
#include "hid_platform.h"
#include "service_thread.h"

namespace hid {

class CChangeWatcher final : public CServiceThread {
public:
    explicit CChangeWatcher(std::shared_ptr<CDeviceWorker> pWorker) : m_pWorker(std::move(pWorker))
    {
    }

    // Starts the thread where the platform can wait for changes; it sleeps
    // until armed. False where it cannot, or once stopped. Idempotent.
    bool Start();

    // Asks for one call of `onChange` at the next change; replaces an
    // earlier request not yet answered. False as Start.
    bool Arm(std::function<void()> onChange);

    // Answers now, if armed.
    void Fire();

    void Stop();

private:
    bool HasWork() const override { return m_bArmed; }
    void DoWork(Lock& lock) override;

    const std::shared_ptr<CDeviceWorker> m_pWorker;
    std::function<void()> m_pfnOnChange;  // guarded by m_mutex
    bool m_bArmed = false;                // guarded by m_mutex
};

}  // namespace hid
