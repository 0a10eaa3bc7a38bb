#include "reopen_backoff.h"

#include <algorithm>

void CReopenBackoff::Opened(const std::u16string& path, const std::u16string& instance,
                            Clock::time_point now)
{
    const bool sameDevice =
        path == m_strPath && (instance.empty() || m_strInstance.empty() || instance == m_strInstance);
    if (!sameDevice)
        m_nQuickEnds = 0;
    m_strPath = path;
    m_strInstance = instance;
    m_openedAt = now;
    m_bOpen = true;
}

bool CReopenBackoff::ReaderEnded(Clock::time_point now)
{
    if (!m_bOpen)
        return Failing();
    m_bOpen = false;
    if (now - m_openedAt >= kLasting) {
        m_nQuickEnds = 0;
        return false;
    }
    ++m_nQuickEnds;
    if (!Failing())
        return false;
    m_retryAt = now + Wait();
    return true;
}

bool CReopenBackoff::MayOpen(const std::u16string& path, Clock::time_point now) const
{
    return !Failing() || path != m_strPath || now >= m_retryAt;
}

bool CReopenBackoff::Lasted(Clock::time_point now) const
{
    return m_bOpen && now - m_openedAt >= kLasting;
}

CReopenBackoff::Clock::duration CReopenBackoff::Wait() const
{
    if (!Failing())
        return Clock::duration::zero();
    // 0.5 s after the second end in a row, doubling; the shift stops well
    // before the cap could overflow.
    const int doublings = std::min(m_nQuickEnds - 2, 8);
    return std::min<Clock::duration>(kFirstWait * (1 << doublings), kLongestWait);
}

void CReopenBackoff::Reset()
{
    m_nQuickEnds = 0;
}
