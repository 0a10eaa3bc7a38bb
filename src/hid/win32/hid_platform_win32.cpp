// The platform on Windows: SetupAPI for the list of HID interfaces
// (hid_platform_win32_devices.*), hid.dll loaded at run time for report
// lengths and input buffers (_library.*), device interface notifications
// that say when to scan again (_changes.*), overlapped file I/O for the
// reports (here); what each answer of the system means, apart (_rules.*).
//
// Threads: as hid_platform.h says. What crosses threads: a read handle's
// wake (InterruptRead signals it from any thread, the Read it ends clears
// it), the change flag (hid_platform_win32_changes.h), and the cache of
// collections' lengths, under m_mutex, since a caller's scan may meet the
// worker's. The user-interface thread makes and destroys the platform and
// calls TakeChanged: making it and TakeChanged wait for nothing,
// destroying it at most CDeviceNotifications::kStopWaitMs (500 ms). A
// reader waits at most kCancelWaitMs for a cancelled read; a writer may
// wait for good on a write whose cancel is ignored (it is abandoned then).
#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "hid_platform.h"
#include "hid_platform_win32_changes.h"
#include "hid_platform_win32_devices.h"
#include "hid_platform_win32_handle.h"
#include "hid_platform_win32_library.h"
#include "hid_platform_win32_rules.h"

namespace hid {

namespace {

using win32::Cast;
using win32::Win32Handle;

// A write that the device has not taken by then is abandoned: a board that
// stopped reading never holds its writer for long (hidraw gives up after
// about 5 s too).
constexpr DWORD kWriteTimeoutMs = 5000;

void CloseWin32Handle(Win32Handle* h)
{
    if (h->file != INVALID_HANDLE_VALUE) {
        CancelIoEx(h->file, nullptr);
        CloseHandle(h->file);
    }
    if (h->ioEvent) CloseHandle(h->ioEvent);
    delete h;
}

// Ends an overlapped operation that is still pending and says what it did:
// the bytes it moved if it completed after all, else 0. The buffer is the
// OS's until then, so this always waits for the cancellation to land: on
// the writer's thread alone, which Close abandons when it is stuck.
DWORD CancelAndCollect(HANDLE file, OVERLAPPED& ov)
{
    CancelIoEx(file, &ov);
    DWORD done = 0;
    if (GetOverlappedResult(file, &ov, &done, TRUE)) return done;
    return 0;
}

// How long a reader waits for a cancelled read to land before it leaves
// the read to the system. The reader's own thread waits; the
// user-interface thread never does.
constexpr DWORD kCancelWaitMs = 1000;

// Cancels the handle's pending read and waits at most kCancelWaitMs for it
// to land: true with the bytes it moved if it completed after all (else
// 0). False when it did not land: the system still owns the read's record,
// buffer and event, which are left to it for good, and the handle is stuck.
bool CancelRead(Win32Handle& h, DWORD& done)
{
    OVERLAPPED& ov = h.read->ov;
    h.cancel(h.file, &ov);
    done = 0;
    if (WaitForSingleObject(ov.hEvent, kCancelWaitMs) != WAIT_OBJECT_0) {
        static_cast<void>(h.read.release());
        h.ioEvent = nullptr;
        h.stuck = true;
        return false;
    }
    if (!GetOverlappedResult(h.file, &ov, &done, FALSE)) done = 0;
    return true;
}

class CWin32Platform : public Platform {
public:
    // Never waits: the notifications register on a thread of their own.
    CWin32Platform()
    {
        m_bHaveGuid = m_hid.GetHidGuid(m_guid);
        if (m_bHaveGuid)
            m_pNotifications = std::make_unique<win32::CDeviceNotifications>(m_guid, m_changes);
    }

    std::vector<DeviceInfo> Enumerate() override
    {
        if (!m_bHaveGuid) return {};
        std::vector<DeviceInfo> list = win32::ListInterfaces(m_guid);
        win32::OrderCollections(
            list, [this](const DeviceInfo& d) { return CollectionLengths(d.path); });
        ForgetCollectionsBut(list);
        return list;
    }

    // Without a source of notifications, every look scans (the poll
    // cycle's tick, 20 times a second): nothing else tells of a board.
    // While the registration is late, a look scans only when the console
    // asks anyway (once a second while no board is open): the service it
    // waits for is busy, and a scan asks the same service.
    bool TakeChanged() override
    {
        const bool changed = m_changes.Take();
        switch (Notifications()) {
        case Mode::Notified:
        case Mode::Late:
            return changed;
        case Mode::Registering:
        case Mode::Unavailable:
            break;
        }
        return true;
    }

    bool CanWaitChanged() const override { return Notifications() == Mode::Notified; }

    bool WaitChanged() override { return CanWaitChanged() && m_changes.Wait(); }

    void StopWaiting() override { m_changes.Stop(); }

    Handle* Open(const std::u16string& path, Access access, OpenError* error) override
    {
        if (error) *error = OpenError::Other;
        // Without the capabilities no report could be sized as Windows
        // wants it.
        if (path.empty() || path.find(u'\0') != std::u16string::npos || !m_hid.CanGetCaps())
            return nullptr;

        const DWORD desired = access == Access::Read ? GENERIC_READ : GENERIC_WRITE;
        HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), desired,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (error) *error = win32::ClassifyOpenError(GetLastError());
            return nullptr;
        }
        auto* h = new Win32Handle;
        h->file = file;
        h->ioEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!h->ioEvent || !h->interrupt.Valid()) {
            CloseWin32Handle(h);
            return nullptr;
        }
        h->lengthsKnown = m_hid.GetCaps(file, h->lengths);
        // A handle that keeps only the system's default still reads.
        if (access == Access::Read)
            h->inputBuffers = win32::AskInputBuffers(
                [&](unsigned long count) { return m_hid.SetNumInputBuffers(file, count); });
        if (error) *error = OpenError::None;
        return reinterpret_cast<Handle*>(h);
    }

    bool GetReportLengths(Handle* handle, ReportLengths& lengths) override
    {
        Win32Handle* h = Cast(handle);
        if (!h || !h->lengthsKnown) return false;
        lengths = h->lengths;
        return true;
    }

    int Read(Handle* handle, std::uint8_t* buf, std::size_t size, int timeoutMs) override
    {
        Win32Handle* h = Cast(handle);
        if (!h || !buf || size == 0 || h->stuck) return -1;
        // An interrupt that came while no read was waiting ends this one.
        if (h->interrupt.Clear()) return 0;

        // ReadFile wants room for a whole input report. The read goes into
        // the handle's slot, which outlives a read the system never gives
        // back.
        const std::size_t report = h->lengthsKnown && h->lengths.input > 0
                                       ? static_cast<std::size_t>(h->lengths.input)
                                       : size;
        std::vector<std::uint8_t>& into = h->read->data;
        into.resize(report);

        OVERLAPPED& ov = h->read->ov;
        ov = OVERLAPPED{};
        ov.hEvent = h->ioEvent;
        DWORD done = 0;
        if (!ReadFile(h->file, into.data(), static_cast<DWORD>(report), nullptr, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) return -1;
            HANDLE waits[2] = {h->ioEvent, reinterpret_cast<HANDLE>(h->interrupt.Native())};
            const DWORD r = WaitForMultipleObjects(2, waits, FALSE,
                                                   timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
            if (r == WAIT_OBJECT_0 + 1) h->interrupt.Clear();
            if (r != WAIT_OBJECT_0) {
                // Timed out or interrupted; a report that landed meanwhile
                // is still delivered, never dropped.
                if (!CancelRead(*h, done)) return -1;
                if (done == 0) return r == WAIT_OBJECT_0 + 1 || r == WAIT_TIMEOUT ? 0 : -1;
            } else if (!GetOverlappedResult(h->file, &ov, &done, TRUE)) {
                return -1;
            }
        } else if (!GetOverlappedResult(h->file, &ov, &done, TRUE)) {
            return -1;
        }
        if (done == 0) return 0;
        const std::size_t n = std::min<std::size_t>(done, size);
        std::copy(into.begin(), into.begin() + static_cast<std::ptrdiff_t>(n), buf);
        return static_cast<int>(n);
    }

    void InterruptRead(Handle* handle) override
    {
        if (Win32Handle* h = Cast(handle)) h->interrupt.Signal();
    }

    int Write(Handle* handle, const std::uint8_t* buf, std::size_t size) override
    {
        Win32Handle* h = Cast(handle);
        if (!h || !buf || size == 0 || size > 0xFFFF) return -1;
        // Windows takes exactly one whole report: a shorter one is padded
        // with zeros (the text protocol's own filler).
        const std::uint8_t* from = buf;
        std::size_t length = size;
        if (h->lengthsKnown && h->lengths.output > 0 &&
            size < static_cast<std::size_t>(h->lengths.output)) {
            h->buffer.assign(buf, buf + size);
            h->buffer.resize(static_cast<std::size_t>(h->lengths.output), 0);
            from = h->buffer.data();
            length = h->buffer.size();
        }

        OVERLAPPED ov{};
        ov.hEvent = h->ioEvent;
        DWORD done = 0;
        h->writeTimedOut = false;
        if (!WriteFile(h->file, from, static_cast<DWORD>(length), nullptr, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) return -1;
            if (WaitForSingleObject(h->ioEvent, kWriteTimeoutMs) != WAIT_OBJECT_0) {
                done = CancelAndCollect(h->file, ov);
                h->writeTimedOut = done == 0;
                if (done == 0) return -1;
            } else if (!GetOverlappedResult(h->file, &ov, &done, TRUE)) {
                return -1;
            }
        } else if (!GetOverlappedResult(h->file, &ov, &done, TRUE)) {
            return -1;
        }
        // Wine's class driver counts a numbered report without its ID byte.
        const DWORD idByte = from[0] != 0 ? 1 : 0;
        if (done + idByte < length) return -1;
        return static_cast<int>(size);
    }

    bool WriteTimedOut(Handle* handle) override
    {
        Win32Handle* h = Cast(handle);
        return h && h->writeTimedOut;
    }

    void Close(Handle* handle) override
    {
        if (Win32Handle* h = Cast(handle)) CloseWin32Handle(h);
    }

    // No rule to install: access is refused here when another program
    // opened the board without sharing it.
    AccessFacts GetAccessFacts() const override
    {
        AccessFacts facts;
        facts.refusedWhileHeld = true;
        return facts;
    }

private:
    using Mode = win32::CDeviceNotifications::Mode;

    Mode Notifications() const
    {
        return m_pNotifications ? m_pNotifications->Current() : Mode::Unavailable;
    }

    // A collection's lengths, from the cache or the device; cached while
    // the collection is present, since they never change.
    std::optional<ReportLengths> CollectionLengths(const std::u16string& path)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const auto it = m_collections.find(path);
            if (it != m_collections.end()) return it->second;
        }
        const std::optional<ReportLengths> lengths = win32::QueryLengths(m_hid, path);
        if (lengths) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_collections[path] = *lengths;
        }
        return lengths;
    }

    void ForgetCollectionsBut(const std::vector<DeviceInfo>& present)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::erase_if(m_collections, [&](const auto& entry) {
            return std::none_of(present.begin(), present.end(),
                                [&](const DeviceInfo& d) { return d.path == entry.first; });
        });
    }

    win32::CHidLibrary m_hid;
    GUID m_guid{};
    bool m_bHaveGuid = false;
    // The flag outlives the notifications that raise it.
    win32::CChangeFlag m_changes;
    std::unique_ptr<win32::CDeviceNotifications> m_pNotifications;
    // Report lengths of present collections, by path. A caller's scan
    // (FindDevices) may meet the worker's.
    std::mutex m_mutex;
    std::map<std::u16string, ReportLengths> m_collections;
};

}  // namespace

std::shared_ptr<Platform> SystemPlatform()
{
    return std::make_shared<CWin32Platform>();
}

}  // namespace hid
