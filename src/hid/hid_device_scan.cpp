// CHidDevice's discovery: the scan of the present interfaces, on the
// calling thread (FindDevices) or on the worker (PollDevices), and the
// match of a vendor and product ID against it.
//
// Threads: all of it runs on the user-interface thread, but for the
// enumeration PollDevices hands to the worker; its answer is posted back
// to that thread, so the scan state needs no lock. Only FindDevices blocks
// (on the kernel, as its callers know).
#include "hid_device.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>

#include "change_watcher.h"
#include "device_worker.h"
#include "utf16.h"

namespace {

char16_t AsciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

}  // namespace

// Only the first string of a multi-string hardware ID names the device.
std::u16string CHidDevice::FirstIdLower(const std::u16string& hardwareId)
{
    std::u16string id = hardwareId.substr(0, hardwareId.find(u'\0'));
    std::transform(id.begin(), id.end(), id.begin(), AsciiLower);
    return id;
}

int CHidDevice::Match(int nVid, int nPid, std::u16string& path) const
{
    char pattern[32];
    std::snprintf(pattern, sizeof pattern, "vid_%04x&pid_%04x", static_cast<unsigned>(nVid),
                  static_cast<unsigned>(nPid));
    const std::u16string wanted = text::Widen(pattern);

    for (const hid::DeviceInfo& device : m_devices) {
        if (FirstIdLower(device.hardwareId).find(wanted) != std::u16string::npos) {
            path = device.path;
            return 1;
        }
    }
    return 0;
}

int CHidDevice::FindDevices(int nVid, int nPid, std::u16string& path)
{
    if (!m_pPlatform) return 0;
    // While a scan runs on the worker, the list is on its way out: this
    // caller, who may wait, gets a scan of its own.
    if (m_pPlatform->TakeChanged() || m_scan == Scan::Unknown || m_scan == Scan::Running) {
        m_devices = m_pPlatform->Enumerate();
        if (m_scan != Scan::Running) m_scan = Scan::Known;
    }
    return Match(nVid, nPid, path);
}

CHidDevice::Presence CHidDevice::PollDevices(int nVid, int nPid, std::u16string& path,
                                             std::function<void()> onScanned)
{
    if (!m_pPlatform) return Presence::Absent;
    m_pWatcher->Start();
    switch (m_scan) {
    case Scan::Running:
        return Presence::NotYetKnown;
    case Scan::Fresh:
        // The first look after a scan answers from it. Asking the platform
        // again here would start another scan on a platform that reports a
        // change every time, and no answer would ever come.
        m_scan = Scan::Known;
        break;
    case Scan::Unknown:
    case Scan::Known:
        // Taken in either case: the first answer (always "changed") must
        // not start a second scan after the first.
        if (!m_pPlatform->TakeChanged() && m_scan == Scan::Known) break;
        try {
            m_pWorker->Submit([this, worker = m_pWorker.get(), onScanned = std::move(onScanned)] {
                auto list = std::make_shared<std::vector<hid::DeviceInfo>>(
                    worker->PlatformRef()->Enumerate());
                worker->Post([this, list, onScanned] {
                    m_devices = std::move(*list);
                    m_scan = Scan::Fresh;
                    if (onScanned) onScanned();
                });
            });
        } catch (const std::system_error&) {
            m_scan = Scan::Unknown;  // the change was taken: the next look scans
            throw;
        }
        m_scan = Scan::Running;
        return Presence::NotYetKnown;
    }
    return Match(nVid, nPid, path) ? Presence::Present : Presence::Absent;
}

std::u16string CHidDevice::ScannedId(const std::u16string& path) const
{
    for (const hid::DeviceInfo& device : m_devices)
        if (device.path == path) return device.hardwareId;
    return {};
}

void CHidDevice::ForgetScan()
{
    // A scan under way runs after whatever made the list stale: its answer
    // stands.
    if (m_scan == Scan::Known || m_scan == Scan::Fresh) m_scan = Scan::Unknown;
}
