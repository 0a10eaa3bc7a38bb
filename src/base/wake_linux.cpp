#include "wake.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace base {

CWake::CWake() : m_native(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CWake::~CWake()
{
    if (Valid())
        close(static_cast<int>(m_native));
}

bool CWake::Valid() const { return m_native >= 0; }

void CWake::Signal()
{
    if (!Valid())
        return;
    const std::uint64_t one = 1;
    // Fails only when the counter would overflow: it is signalled anyway.
    (void)!write(static_cast<int>(m_native), &one, sizeof one);
}

bool CWake::Clear()
{
    if (!Valid())
        return false;
    std::uint64_t count = 0;
    return read(static_cast<int>(m_native), &count, sizeof count) == sizeof count && count > 0;
}

}  // namespace base
