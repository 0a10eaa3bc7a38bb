// What a Handle is on Windows: one file of the device, opened for reading
// or for writing, with what its overlapped I/O needs. Tests of the
// platform look inside it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "hid_platform.h"
#include "wake.h"

namespace hid::win32 {

struct Win32Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
    // Completion of this handle's one overlapped operation (manual reset).
    HANDLE ioEvent = nullptr;
    // Signalled by InterruptRead, cleared by the Read it ends.
    base::CWake interrupt;
    ReportLengths lengths;
    bool lengthsKnown = false;
    // Input reports the system keeps for a read handle (0: its default).
    unsigned long inputBuffers = 0;
    // Windows reads and writes whole reports only; reports go through
    // here when the caller's buffer is not exactly one report long.
    std::vector<std::uint8_t> buffer;
    bool writeTimedOut = false;  // the writer's: its last failed write
};

inline Win32Handle* Cast(Handle* h) { return reinterpret_cast<Win32Handle*>(h); }

}  // namespace hid::win32
