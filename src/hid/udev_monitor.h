// Linux: tells whether hidraw nodes came or went, from the kernel's device
// events (libudev's "kernel" source: it needs no udev daemon, and on a
// desktop the kernel's event arrives as well).
#pragma once

#include <atomic>
#include <mutex>

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
    // wakeFd (an eventfd) is readable, after reading it, on a signal, and
    // at once without a monitor. Events of other devices are read and
    // dropped meanwhile. May run on another thread than TakeChanged.
    bool WaitForEvent(int wakeFd);

private:
    // Reads what waits, within the budget; true when a hidraw event was
    // among it or some may be left unread.
    bool ReadEvents();

    struct udev* m_udev = nullptr;
    struct udev_monitor* m_monitor = nullptr;
    bool m_first = true;
    std::atomic<bool> m_pending{false};  // read by WaitForEvent, not yet taken
    std::mutex m_readLock;
};

}  // namespace hid::linux_udev
