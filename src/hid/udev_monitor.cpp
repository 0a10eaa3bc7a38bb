#include "udev_monitor.h"

#include <libudev.h>
#include <poll.h>

#include <cerrno>

namespace hid::linux_udev {

namespace {
// Bounds one call, so that a socket that keeps failing cannot hold the
// caller; what is left is read at the next call.
constexpr int kMaxMessagesPerCall = 1024;
}  // namespace

HidrawMonitor::HidrawMonitor()
{
    m_udev = udev_new();
    if (!m_udev) return;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "kernel");
    if (m_monitor &&
        (udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0 ||
         udev_monitor_enable_receiving(m_monitor) < 0)) {
        udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
    }
}

HidrawMonitor::~HidrawMonitor()
{
    if (m_monitor) udev_monitor_unref(m_monitor);
    if (m_udev) udev_unref(m_udev);
}

bool HidrawMonitor::TakeChanged()
{
    if (!m_monitor) return true;
    bool changed = m_first;
    m_first = false;

    const int fd = udev_monitor_get_fd(m_monitor);
    for (int i = 0; i < kMaxMessagesPerCall; ++i) {
        pollfd pfd{fd, POLLIN, 0};
        int ready = poll(&pfd, 1, 0);
        if (ready == 0) break;
        if (ready < 0) {
            if (errno == EINTR) continue;
            return true;
        }
        if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) changed = true;
        if (!(pfd.revents & POLLIN)) break;
        errno = 0;
        udev_device* device = udev_monitor_receive_device(m_monitor);
        if (device) {
            udev_device_unref(device);
            changed = true;
        } else if (errno != 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Lost events (ENOBUFS) or a message that could not be read:
            // something may have changed.
            changed = true;
        }
    }
    return changed;
}

}  // namespace hid::linux_udev
