#include "udev_monitor.h"

#include <libudev.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace hid::linux_udev {

namespace {
// One call never spends more than this on the socket, however many events
// wait: a storm of unrelated events (50,000 "change" events make one
// parsed by libudev take about a second) is read over several calls, and a
// call that leaves events unread answers "changed", which costs a scan off
// the user-interface thread.
constexpr auto kBudget = std::chrono::milliseconds(2);
constexpr int kMaxMessagesPerCall = 256;

// A kernel uevent is "ACTION@DEVPATH\0KEY=VALUE\0...". Only the
// subsystem matters, so the message is searched as it came rather than
// parsed into a device (libudev's receive does that for every event, the
// filtered-out ones included).
bool IsHidrawEvent(const char* msg, std::size_t size)
{
    static constexpr char kKey[] = "SUBSYSTEM=hidraw";
    constexpr std::size_t kLen = sizeof kKey - 1;
    for (std::size_t i = 0; i + kLen <= size;) {
        const char* field = msg + i;
        const std::size_t len = strnlen(field, size - i);
        if (len == kLen && std::memcmp(field, kKey, kLen) == 0) return true;
        i += len + 1;
    }
    return false;
}

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

int HidrawMonitor::Fd() const
{
    return m_monitor ? udev_monitor_get_fd(m_monitor) : -1;
}

bool HidrawMonitor::TakeChanged()
{
    if (!m_monitor) return true;
    bool changed = m_first || m_pending.exchange(false);
    m_first = false;
    if (ReadEvents()) changed = true;
    return changed;
}

bool HidrawMonitor::WaitForEvent(base::CWake& wake)
{
    if (!m_monitor) return false;
    for (;;) {
        pollfd p[2] = {{udev_monitor_get_fd(m_monitor), POLLIN, 0},
                       {static_cast<int>(wake.Native()), POLLIN, 0}};
        if (poll(p, 2, -1) <= 0) return false;  // a signal: the caller looks again
        if (p[1].revents & POLLIN) {
            wake.Clear();
            return false;
        }
        // Other devices' events are read and dropped here, so that only a
        // hidraw event (or an error) wakes the caller; TakeChanged then
        // answers for what was read here.
        if (ReadEvents()) {
            m_pending = true;
            return true;
        }
    }
}

bool HidrawMonitor::ReadEvents()
{
    std::lock_guard<std::mutex> lock(m_readLock);
    bool changed = false;
    const int fd = udev_monitor_get_fd(m_monitor);
    const auto deadline = std::chrono::steady_clock::now() + kBudget;
    char msg[8192];
    for (int i = 0;; ++i) {
        if (i == kMaxMessagesPerCall || std::chrono::steady_clock::now() >= deadline) {
            // Out of budget with events perhaps left: one of them may be ours.
            pollfd pfd{fd, POLLIN, 0};
            if (poll(&pfd, 1, 0) != 0) changed = true;
            break;
        }
        sockaddr_nl from{};
        socklen_t fromLen = sizeof from;
        const ssize_t n = recvfrom(fd, msg, sizeof msg, MSG_DONTWAIT | MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < 0) {
            if (errno == EINTR) continue;
            // Lost events (ENOBUFS) or a socket error: anything may have
            // changed.
            if (errno != EAGAIN && errno != EWOULDBLOCK) changed = true;
            break;
        }
        // Only the kernel's own messages; a truncated one cannot be read.
        if (from.nl_pid != 0) continue;
        if (std::size_t(n) > sizeof msg || IsHidrawEvent(msg, std::size_t(n))) changed = true;
    }
    return changed;
}

}  // namespace hid::linux_udev
