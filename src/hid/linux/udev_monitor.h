// Linux: tells whether hidraw nodes came or went, from the kernel's device
// events (libudev's "kernel" source: it needs no udev daemon, and on a
// desktop the kernel's event arrives as well).
//
// Threads: TakeChanged on one thread (the user-interface thread),
// WaitForEvent on another (the change watcher); both read the socket,
// one at a time under m_readLock, which is held for the read alone: a
// non-blocking read, so the user-interface thread waits milliseconds at
// most.
#pragma once

#include <atomic>
#include <mutex>

#include "wake.h"

struct udev;
struct udev_monitor;

namespace hid::linux_udev {

class HidrawMonitor {
public:
    // Starts listening at once; events from then on are kept by the kernel
    // until TakeChanged reads them.
    HidrawMonitor();
    ~HidrawMonitor();
    HidrawMonitor(const HidrawMonitor&) = delete;
    HidrawMonitor& operator=(const HidrawMonitor&) = delete;

    // Non-blocking, and spends at most a few milliseconds however many
    // events wait. True on the first call, after any hidraw event, after
    // any error or lost events (socket overflow), when events are left
    // unread for the next call, and always when no monitor could be made.
    bool TakeChanged();

    // Readable while events wait for TakeChanged; -1 without a monitor.
    int Fd() const;

    // Blocks until a hidraw event (or an error, or lost events) comes, and
    // returns true: TakeChanged answers true after it. Returns false when
    // `wake` is signalled, after clearing it, on a signal, and at once
    // without a monitor. Events of other devices are read and dropped
    // meanwhile. May run on another thread than TakeChanged.
    bool WaitForEvent(base::CWake& wake);

private:
    // Reads what waits, within the budget; true when a hidraw event was
    // among it or some may be left unread.
    bool ReadEvents();

    struct udev* m_udev = nullptr;
    struct udev_monitor* m_monitor = nullptr;
    bool m_first = true;
    std::atomic<bool> m_pending{false};  // read by WaitForEvent, not yet taken
    std::mutex m_readLock;               // guards the socket's reads
};

}  // namespace hid::linux_udev
