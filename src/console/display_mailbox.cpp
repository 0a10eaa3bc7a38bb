#include "display_mailbox.h"

#include <utility>

bool CDisplayMailbox::Publish()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_bFresh = true;
    return !std::exchange(m_bPending, true);
}

bool CDisplayMailbox::Take()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_bFresh) {
        m_bPending = false;
        return false;
    }
    m_bFresh = false;
    return true;
}
