// What a Handle is on Windows: one file of the device, opened for reading
// or for writing, with what its overlapped I/O needs. Tests of the
// platform look inside it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
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

    // A read's record and buffer, the system's while the read is pending.
    struct ReadSlot {
        OVERLAPPED ov{};
        std::vector<std::uint8_t> data;
    };
    std::unique_ptr<ReadSlot> read = std::make_unique<ReadSlot>();
    // A read whose cancel did not land in time (a filter driver may ignore
    // it): its slot and ioEvent were left to the system for good, and the
    // handle only serves for Close.
    bool stuck = false;
    // How a pending read is cancelled: CancelIoEx; tests give one that is
    // ignored.
    BOOL(WINAPI* cancel)(HANDLE, LPOVERLAPPED) = CancelIoEx;
    bool writeTimedOut = false;  // the writer's: its last failed write
};

inline Win32Handle* Cast(Handle* h) { return reinterpret_cast<Win32Handle*>(h); }

}  // namespace hid::win32
