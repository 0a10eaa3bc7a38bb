// Linux: tells whether hidraw nodes came or went, from the kernel's device
// events (libudev's "kernel" source: it needs no udev daemon, and on a
// desktop the kernel's event arrives as well).
#pragma once

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

private:
    struct udev* m_udev = nullptr;
    struct udev_monitor* m_monitor = nullptr;
    bool m_first = true;
};

}  // namespace hid::linux_udev
