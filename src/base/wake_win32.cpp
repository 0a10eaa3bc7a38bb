#include "wake.h"

#include <windows.h>

namespace base {

CWake::CWake()
    : m_native(reinterpret_cast<std::intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr)))
{
}

CWake::~CWake()
{
    if (Valid())
        CloseHandle(reinterpret_cast<HANDLE>(m_native));
}

bool CWake::Valid() const { return m_native != 0; }

void CWake::Signal()
{
    if (Valid())
        SetEvent(reinterpret_cast<HANDLE>(m_native));
}

bool CWake::Clear()
{
    if (!Valid())
        return false;
    const HANDLE event = reinterpret_cast<HANDLE>(m_native);
    // Reset only once a signal was seen: one given between the look and
    // the reset counts with it, and none is lost while none was seen.
    if (WaitForSingleObject(event, 0) != WAIT_OBJECT_0)
        return false;
    ResetEvent(event);
    return true;
}

}  // namespace base
