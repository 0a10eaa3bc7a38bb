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
    const bool was = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    ResetEvent(event);
    return was;
}

}  // namespace base
