// Which thread calls what, what blocks, and what each lock guards: device_worker.h.
#include "device_worker.h"

#include <utility>

namespace hid {

bool CDeviceWorker::Submit(std::function<void()> job)
{
    Lock lock(m_mutex);
    if (!StartLocked(lock))
        return false;
    m_jobs.push_back(std::move(job));
    m_cond.notify_all();
    return true;
}

void CDeviceWorker::DoWork(Lock& lock)
{
    std::function<void()> job = std::move(m_jobs.front());
    m_jobs.pop_front();
    lock.unlock();
    job();
    // What the job holds is released before the worker counts as idle.
    job = nullptr;
    lock.lock();
}

void CDeviceWorker::Post(std::function<void()> fn)
{
    // Counted until the call and its copy of the poster are over, whatever
    // the poster does: Stop waits for the count.
    struct Call {
        CDeviceWorker& worker;
        Poster poster;
        ~Call()
        {
            poster = nullptr;
            Lock lock(worker.m_mutex);
            --worker.m_nPosting;
            worker.m_cond.notify_all();
        }
    };
    Poster poster;
    {
        Lock lock(m_mutex);
        if (!m_pfnPoster)
            return;
        poster = m_pfnPoster;
        ++m_nPosting;
    }
    Call call{*this, std::move(poster)};
    call.poster(std::move(fn));
}

void CDeviceWorker::SetPoster(Poster poster)
{
    Lock lock(m_mutex);
    m_pfnPoster = std::move(poster);
}

bool CDeviceWorker::WaitIdle(std::chrono::milliseconds timeout)
{
    Lock lock(m_mutex);
    return m_cond.wait_for(lock, timeout, [&] { return m_jobs.empty() && !m_bBusy; });
}

void CDeviceWorker::Stop()
{
    Lock lock(m_mutex);
    // Dropped under the lock, but destroyed after it: what the poster
    // captured may take locks of its own when it goes.
    Poster poster = std::move(m_pfnPoster);
    m_pfnPoster = nullptr;
    m_cond.wait(lock, [&] { return m_nPosting == 0; });
    CServiceThread::Stop(std::move(lock), kExitWait);
}

}  // namespace hid
