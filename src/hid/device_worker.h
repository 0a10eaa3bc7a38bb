// The thread that makes every call that can block in the kernel for the
// asynchronous side of CHidDevice: scans, opens and closes, one after the
// other, and the hand-over of their outcomes to the poster.
//
// Threads:
// - Submit, SetPoster, WaitIdle and Stop: the user-interface thread.
//   Submit and SetPoster never block; WaitIdle blocks up to its timeout;
//   Stop waits for the jobs given so far up to kExitWait, for a poster
//   call under way as long as it takes (a window's Post is quick), and
//   leaves the thread to finish by itself after that.
// - Jobs run on the worker's thread, without any lock held.
// - Post: any thread (the worker's jobs, the change watcher, the reader).
//   It calls the poster without holding the worker's lock; Stop waits for
//   such a call, so that none reaches the window after Stop.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>

#include "hid_platform.h"
#include "service_thread.h"

namespace hid {

class CDeviceWorker final : public CServiceThread {
public:
    // Runs its argument on the user-interface thread later and never waits
    // for it (a window's Post).
    using Poster = std::function<void(std::function<void()>)>;

    // How long Stop waits for the jobs given so far (closes, as a rule)
    // before it leaves them to finish on their own.
    static constexpr std::chrono::milliseconds kExitWait{500};

    explicit CDeviceWorker(std::shared_ptr<Platform> pPlatform) : m_pPlatform(std::move(pPlatform))
    {
    }

    // The platform the jobs call. Shared with the jobs, which may outlive
    // the CHidDevice.
    const std::shared_ptr<Platform>& PlatformRef() const { return m_pPlatform; }

    // Queues a job; the thread starts with the first. A job given after
    // Stop is dropped: false. Throws std::system_error when no thread can
    // be made (the job is not queued).
    bool Submit(std::function<void()> job);

    // Runs `fn` through the poster; dropped (and destroyed here) when there
    // is none, or no more.
    void Post(std::function<void()> fn);
    void SetPoster(Poster poster);

    // True once every job given so far has run; false after `timeout`.
    bool WaitIdle(std::chrono::milliseconds timeout);

    // Drops the poster, then ends the thread once its jobs are done.
    void Stop();

private:
    bool HasWork() const override { return !m_jobs.empty(); }
    void DoWork(Lock& lock) override;

    const std::shared_ptr<Platform> m_pPlatform;
    std::deque<std::function<void()>> m_jobs;  // guarded by m_mutex
    Poster m_pfnPoster;                        // guarded by m_mutex
    int m_nPosting = 0;  // guarded by m_mutex: poster calls under way
};

}  // namespace hid
