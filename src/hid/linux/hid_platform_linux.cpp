// The platform on Linux: hidapi's hidraw backend for writes, the hidraw
// node itself for reads, sysfs for the list of devices and the report
// descriptor, libudev for hot-plug events.
//
// Reads go to the node directly because hidapi can wait on one descriptor
// only: a reader that must also be woken by Close would have to wake up
// periodically to look. Here it sleeps in poll() on the node and its wake
// until a report comes or InterruptRead signals the wake.
//
// Threads: as hid_platform.h says. The wakes are what crosses threads:
// InterruptRead and StopWaiting signal them from any thread; only the
// sleeper clears its own.
#include <fcntl.h>
#include <hidapi.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <utility>

#include "codepage.h"
#include "hid_platform.h"
#include "hidraw_sysfs.h"
#include "report_descriptor.h"
#include "udev_monitor.h"
#include "utf16.h"
#include "wake.h"

namespace hid {

namespace {

// Names from sysfs are plain ASCII in practice ("/dev/hidraw3"), and
// taken as UTF-8, the form hid_open_path wants them back in.
std::u16string FromUtf8(const std::string& s)
{
    return DecodeText(reinterpret_cast<const std::uint8_t*>(s.data()), s.size(), "UTF-8");
}

struct HidapiHandle {
    hid_device* device = nullptr;  // write handles
    int fd = -1;                   // read handles: the node, non-blocking
    std::optional<base::CWake> wake;  // read handles: InterruptRead's
    // Both from the device the handle is on, learnt at the open.
    DeviceIdentity identity;
    DescriptorInfo descriptor;
    bool descriptorRead = false;
    bool writeTimedOut = false;  // the writer's: its last failed write
};

HidapiHandle* Cast(Handle* h) { return reinterpret_cast<HidapiHandle*>(h); }

// "HID\VID_04D8&PID_003F&REV_0002", as Windows forms a first hardware ID.
std::u16string HardwareId(const linux_sysfs::HidrawNode& node)
{
    char id[64];
    std::snprintf(id, sizeof id, "HID\\VID_%04X&PID_%04X&REV_%04X", node.vendor & 0xFFFF,
                  node.product & 0xFFFF, node.release & 0xFFFF);
    return FromUtf8(id);
}

// Fills in the identity and the report descriptor of the device the
// handle's descriptor is open on, from that descriptor's device number.
OpenError Learn(HidapiHandle& h)
{
    const std::string dir = linux_sysfs::HidrawDirOf(h.fd);
    if (dir.empty()) return OpenError::Other;  // not a hidraw node after all
    linux_sysfs::HidrawNode node;
    // Gone already: its folder went with it.
    if (!linux_sysfs::ReadNode(dir, node)) return OpenError::NotFound;
    h.identity = {HardwareId(node), FromUtf8(node.instance)};
    std::vector<std::uint8_t> bytes;
    if (linux_sysfs::ReadReportDescriptor(dir, bytes)) {
        h.descriptor = ParseReportDescriptor(bytes.data(), bytes.size());
        h.descriptorRead = h.descriptor.Usable();
    }
    // Without a descriptor, assume no report IDs: the board uses none.
    return OpenError::None;
}

OpenError Classify(int error, const std::string& path)
{
    switch (error) {
    case EACCES:
    case EPERM: return OpenError::PermissionDenied;
    case ENOENT:
    case ENODEV:
    case ENXIO: return OpenError::NotFound;
    default: break;
    }
    // hidapi may have lost errno on its way out: ask the node itself.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return errno == ENOENT ? OpenError::NotFound : OpenError::Other;
    if (access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return OpenError::PermissionDenied;
    return OpenError::Other;
}

class HidapiPlatform : public Platform {
public:
    HidapiPlatform()
    {
        // hid_exit is never called: an abandoned writer may still be inside
        // hid_write when the last platform goes away.
        static std::once_flag once;
        std::call_once(once, [] { hid_init(); });
    }

    // From sysfs rather than hid_enumerate: hidapi 0.13's enumeration
    // crashes (strlen on a null string) when a device vanishes while it is
    // being listed, which a board that comes and goes makes happen.
    std::vector<DeviceInfo> Enumerate() override
    {
        std::vector<DeviceInfo> list;
        for (const linux_sysfs::HidrawNode& node : linux_sysfs::ListHidrawNodes())
            list.push_back({FromUtf8(node.devPath), HardwareId(node)});
        return list;
    }

    bool TakeChanged() override { return m_monitor.TakeChanged(); }

    bool CanWaitChanged() const override { return m_monitor.Fd() >= 0 && m_stopWaiting.Valid(); }

    bool WaitChanged() override
    {
        return CanWaitChanged() && m_monitor.WaitForEvent(m_stopWaiting);
    }

    void StopWaiting() override { m_stopWaiting.Signal(); }

    // The handle's device is learnt from a descriptor of our own, never
    // again from the path: between the scan and this open the board may
    // have gone and another device taken its node. A write handle is
    // opened by hidapi, by path, while our descriptor on the node is still
    // open: the kernel gives a node's number to no other device while it
    // is open, so hidapi reaches the same device or fails.
    Handle* Open(const std::u16string& path, Access access, OpenError* error) override
    {
        // A path with a zero in it would name a shorter one.
        const std::string utf8 = text::ToUtf8(path);
        if (utf8.find('\0') != std::string::npos || !linux_sysfs::IsHidrawNode(utf8)) {
            if (error) {
                struct stat st {};
                *error = stat(utf8.c_str(), &st) == 0 ? OpenError::Other : OpenError::NotFound;
            }
            return nullptr;
        }
        auto* h = new HidapiHandle;
        auto fail = [&](OpenError why) -> Handle* {
            Close(reinterpret_cast<Handle*>(h));
            if (error) *error = why;
            return nullptr;
        };
        const int fd = open(utf8.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return fail(Classify(errno, utf8));
        h->fd = fd;
        const OpenError learnt = Learn(*h);
        if (learnt != OpenError::None) return fail(learnt);
        if (access == Access::Write) {
            errno = 0;
            h->device = hid_open_path(utf8.c_str());
            const int saved = errno;
            // Our descriptor has served: the write handle holds the node now.
            close(std::exchange(h->fd, -1));
            if (!h->device) return fail(Classify(saved, utf8));
        } else {
            h->wake.emplace();
            if (!h->wake->Valid()) return fail(OpenError::Other);
        }
        if (error) *error = OpenError::None;
        return reinterpret_cast<Handle*>(h);
    }

    bool Identify(Handle* handle, DeviceIdentity& identity) override
    {
        HidapiHandle* h = Cast(handle);
        if (!h) return false;
        identity = h->identity;
        return true;
    }

    bool GetReportLengths(Handle* handle, ReportLengths& lengths) override
    {
        HidapiHandle* h = Cast(handle);
        if (!h || !h->descriptorRead) return false;
        lengths.input = h->descriptor.inputLength;
        lengths.output = h->descriptor.outputLength;
        lengths.outputReportId = h->descriptor.outputReportId;
        return true;
    }

    int Read(Handle* handle, std::uint8_t* buf, std::size_t size, int timeoutMs) override
    {
        HidapiHandle* h = Cast(handle);
        if (!h || h->fd < 0 || !buf || size == 0) return -1;
        std::uint8_t* into = buf;
        std::size_t room = size;
        std::uint8_t scratch[1];
        if (!h->descriptor.inputNumbered) {
            // hidraw gives such a report without the ID byte (a report ID
            // on other kinds of report does not change that): put the 0 in
            // front, as Windows does.
            buf[0] = 0;
            into = size > 1 ? buf + 1 : scratch;
            room = size > 1 ? size - 1 : sizeof scratch;
        }
        pollfd p[2] = {{h->fd, POLLIN, 0}, {static_cast<int>(h->wake->Native()), POLLIN, 0}};
        const int ready = poll(p, 2, timeoutMs < 0 ? -1 : timeoutMs);
        if (ready < 0) return errno == EINTR ? 0 : -1;  // a signal, not a lost board
        if (ready == 0) return 0;
        if (p[1].revents & POLLIN) {
            h->wake->Clear();
            return 0;
        }
        if (p[0].revents & POLLIN) {
            const ssize_t n = read(h->fd, into, room);
            if (n < 0) return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
            if (n == 0) return 0;
            if (!h->descriptor.inputNumbered) return size > 1 ? int(n) + 1 : 1;
            return int(n);
        }
        // POLLERR / POLLHUP: the device is gone.
        return -1;
    }

    void InterruptRead(Handle* handle) override
    {
        HidapiHandle* h = Cast(handle);
        if (h && h->wake) h->wake->Signal();
    }

    int Write(Handle* handle, const std::uint8_t* buf, std::size_t size) override
    {
        HidapiHandle* h = Cast(handle);
        if (!h || !h->device || !buf || size == 0) return -1;
        errno = 0;
        const int n = hid_write(h->device, buf, size);
        // usbhid gives up on a report the board does not take in 5 s.
        h->writeTimedOut = n < 0 && errno == ETIMEDOUT;
        return n;
    }

    bool WriteTimedOut(Handle* handle) override
    {
        HidapiHandle* h = Cast(handle);
        return h && h->writeTimedOut;
    }

    void Close(Handle* handle) override
    {
        HidapiHandle* h = Cast(handle);
        if (!h) return;
        if (h->device) hid_close(h->device);
        if (h->fd >= 0) close(h->fd);
        delete h;
    }

    // The rule's uaccess tag gives the user at the seat the board's node;
    // a node made before the rule was installed needs a replug or a
    // trigger. tools/setup.sh and the package install it. hidraw shares
    // every node: no open is refused because another program holds one.
    AccessFacts GetAccessFacts() const override
    {
        AccessFacts facts;
        facts.ruleService = "udev";
        facts.ruleFile = "70-wendrel.rules";
        facts.ruleFolders = {"/lib/udev/rules.d", "/etc/udev/rules.d"};
        facts.installCommand = "sh tools/setup.sh run";
        facts.applyCommand = "udevadm trigger";
        return facts;
    }

private:
    linux_udev::HidrawMonitor m_monitor;
    base::CWake m_stopWaiting;
};

}  // namespace

std::shared_ptr<Platform> SystemPlatform()
{
    // One monitor per caller: each CHidDevice takes its own changes.
    return std::make_shared<HidapiPlatform>();
}

}  // namespace hid
