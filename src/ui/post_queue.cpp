#include "post_queue.h"

#include <utility>

namespace wsys {

bool CPostQueue::Post(std::function<void()> fn)
{
    std::function<void()> dropped;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_bClosed) {
        dropped = std::move(fn);  // destroyed after the lock is let go
        return false;
    }
    m_pending.push_back(std::move(fn));
    return !std::exchange(m_bWoken, true);
}

void CPostQueue::WakeLost()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_bWoken = false;
}

bool CPostQueue::Unannounced() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return !m_pending.empty() && !m_bWoken;
}

int CPostQueue::Drain()
{
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bWoken = false;
        batch.swap(m_pending);
    }
    for (auto& fn : batch)
        fn();
    return static_cast<int>(batch.size());
}

void CPostQueue::Close()
{
    std::vector<std::function<void()>> dropped;
    std::lock_guard<std::mutex> lock(m_lock);
    m_bClosed = true;
    m_bWoken = false;
    dropped.swap(m_pending);
}

}  // namespace wsys
