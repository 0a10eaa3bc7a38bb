#include "display_mailbox.h"

#include <utility>

bool CDisplayMailbox::Publish(std::u16string text)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_text = std::move(text);
    m_bFresh = true;
    const bool ask = !m_bPending;
    m_bPending = true;
    return ask;
}

bool CDisplayMailbox::Take(std::u16string& text)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_bFresh) {
        m_bPending = false;
        return false;
    }
    m_bFresh = false;
    text = std::move(m_text);
    m_text.clear();
    return true;
}
