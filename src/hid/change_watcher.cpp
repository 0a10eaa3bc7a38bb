// Which thread calls what, what blocks, and what each lock guards: change_watcher.h.
#include "change_watcher.h"

#include <utility>

namespace hid {

bool CChangeWatcher::Start()
{
    Platform* platform = m_pWorker->PlatformRef().get();
    if (!platform || !platform->CanWaitChanged())
        return false;
    Lock lock(m_mutex);
    return StartLocked(lock);
}

bool CChangeWatcher::Arm(std::function<void()> onChange)
{
    if (!Start())
        return false;
    std::function<void()> replaced;
    Lock lock(m_mutex);
    if (m_bStop)
        return false;
    replaced = std::exchange(m_pfnOnChange, std::move(onChange));
    m_bArmed = true;
    m_cond.notify_all();
    lock.unlock();
    return true;  // `replaced` goes here, with no lock held
}

void CChangeWatcher::Fire()
{
    std::function<void()> fn;
    {
        Lock lock(m_mutex);
        if (!m_bArmed)
            return;
        m_bArmed = false;
        fn = std::move(m_pfnOnChange);
        m_pfnOnChange = nullptr;
    }
    if (fn)
        m_pWorker->Post(std::move(fn));
}

void CChangeWatcher::DoWork(Lock& lock)
{
    lock.unlock();
    // False after StopWaiting or a signal: still armed, the loop waits
    // again unless it was stopped.
    if (m_pWorker->PlatformRef()->WaitChanged())
        Fire();
    lock.lock();
}

void CChangeWatcher::Stop()
{
    Lock lock(m_mutex);
    m_bArmed = false;
    std::function<void()> dropped = std::move(m_pfnOnChange);
    m_pfnOnChange = nullptr;
    Platform* platform = m_pWorker->PlatformRef().get();
    CServiceThread::Stop(std::move(lock), kStopWait, [platform] { platform->StopWaiting(); });
}

}  // namespace hid
