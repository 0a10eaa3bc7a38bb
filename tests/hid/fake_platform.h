// An in-memory hid::Platform for tests: a list of boards that tests plug
// and unplug, input queues that behave like hidraw's, and a record of every
// output report written.
//
//   auto fake = std::make_shared<hid::test::FakePlatform>();
//   fake->Plug({u"/dev/hidraw0", u"HID\\VID_04D8&PID_003F&REV_0002", {65, 65}});
//   CHidDevice device(fake);
//   ... device.Open(u"/dev/hidraw0", &receiver) ...
//   fake->PushInput(u"/dev/hidraw0", {0x00, 'H', 'i', 0x00});
//   fake->Written(u"/dev/hidraw0")  // every report written, in order
//
// Every member is thread-safe: reader and writer threads call the Platform
// side while the test drives the board side.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hid_platform.h"

namespace hid::test {

using Report = std::vector<std::uint8_t>;

struct FakeBoard {
    std::u16string path;
    // May hold several strings separated by u'\0' to model a multi-string
    // hardware-ID property; only the first one names the device.
    std::u16string hardwareId;
    ReportLengths lengths{65, 65};
    // False: GetReportLengths fails (descriptor unreadable).
    bool lengthsReadable = true;
};

class FakePlatform : public Platform {
public:
    // hidraw keeps this many unread reports per open handle and drops the
    // newest when full.
    static constexpr std::size_t kInputQueueLimit = 64;

    ~FakePlatform() override;

    // --- the board side, driven by tests ---

    // Adds a board at the end of the enumeration order; marks a change.
    // Each plugging-in is a device instance of its own (Identify).
    void Plug(FakeBoard board);
    // Removes a board and marks a change. Open handles on it fail from now
    // on: Read returns the reports already queued, then -1 (as hidraw
    // does; Windows under Wine loses them, which the contract allows too),
    // a stalled or later Write returns -1.
    void Unplug(const std::u16string& path);

    // The handles open on `path` fail from now on, as after a read error:
    // the board stays listed and no change is marked.
    void BreakHandles(const std::u16string& path);

    // Queues one input report, in the form Read returns it (byte 0 = report
    // ID), on every read-opened handle of `path`. Returns how many handles
    // dropped it because their queue was full.
    int PushInput(const std::u16string& path, const Report& report);
    // Reports dropped so far on `path` because a queue was full.
    int DroppedInput(const std::u16string& path) const;
    // Unread reports queued on all handles of `path`.
    std::size_t QueuedInput(const std::u16string& path) const;
    // Blocks until every handle of `path` has read all its queued reports
    // (or timeoutMs passes; returns false then).
    bool WaitInputDrained(const std::u16string& path, int timeoutMs = 5000) const;

    // Every output report written to `path`, in order.
    std::vector<Report> Written(const std::u16string& path) const;
    // Blocks until at least `count` reports were written to `path` (or
    // timeoutMs passes; returns false then).
    bool WaitWritten(const std::u16string& path, std::size_t count,
                     int timeoutMs = 5000) const;

    // Writes fail at once with -1 while set.
    void SetWriteFails(bool fail);
    // While set, a write that fails (SetWriteFails) fails as one the board
    // never took in time (WriteTimedOut), not as refused.
    void SetWriteTimesOut(bool timeOut);
    // While set, Write blocks (like a board that stopped reading) until
    // SetWriteStalls(false) or the board is unplugged.
    void SetWriteStalls(bool stall);
    // Writes currently blocked inside Write.
    int StalledWrites() const;

    // The board at `path` stops reading, as a board whose firmware hangs
    // does on the real systems: it takes kUnreadReports more output
    // reports, then each write waits until the board reads again, it is
    // unplugged, or the give-up time passes, and fails then (-1), as
    // hidraw's and the Windows platform's writes do after about 5 s.
    // (SetWriteStalls is a write that never gives up, which no real
    // platform does: it stands for a stuck driver.)
    static constexpr std::size_t kUnreadReports = 4;
    void StopReading(const std::u16string& path);
    // Reads again: the reports it had taken arrive (Written), and so do
    // the writes waiting for it.
    void StartReading(const std::u16string& path);
    // How long a write to a board that does not read waits; 5000 unless set.
    void SetWriteGiveUpMs(int ms);

    // What GetAccessFacts answers; nothing unless set.
    void SetAccessFacts(AccessFacts facts);

    // Open fails with `error` while set; `onlyFor` limits it to one access
    // (for example, Write fails after Read succeeded).
    void SetOpenFails(OpenError error);
    void SetOpenFails(OpenError error, Access onlyFor);
    void ClearOpenFails();

    // While set, Open blocks (as the kernel's open does behind another
    // device's stuck write) until HoldOpens(false); `onlyFor` limits it to
    // one access (the second open of a connection, say).
    void HoldOpens(bool hold);
    void HoldOpens(bool hold, Access onlyFor);
    // Opens currently blocked by HoldOpens.
    int HeldOpens() const;

    // While set, Close blocks (as a hidraw close does behind another
    // device's stuck write, or a driver that never lets go) until
    // HoldCloses(false).
    void HoldCloses(bool hold);
    // Closes currently blocked by HoldCloses.
    int HeldCloses() const;

    // While set, InterruptRead and StopWaiting do nothing: a read or a
    // wait for changes that its wake never reaches (a driver that ignores
    // the cancel).
    void IgnoreWakes(bool ignore);

    // Enumerate, Open and Close can block in a real kernel: calls of them
    // on `thread` (the user-interface thread of a test) are counted.
    void ForbidBlockingCallsOn(std::thread::id thread);
    int BlockingCallsOnForbiddenThread() const;

    // False: TakeChanged always answers true, like a platform without a
    // change monitor.
    void SetCanTellChanges(bool can);
    // True: plugging and unplugging mark no change, like a change monitor
    // that opens but never hears of a device (a container without device
    // events).
    void SetChangesSilent(bool silent);

    // True: every read fails at once (-1), on the handles open now and on
    // those opened later, while the board stays listed.
    void SetReadsFail(bool fail);

    // False: Identify cannot tell, like a platform whose paths each name
    // one device for good.
    void SetCanIdentify(bool can);
    // Blocks until a thread sleeps in WaitChanged (or timeoutMs passes;
    // returns false then).
    bool WaitForChangeWaiter(int timeoutMs = 5000) const;

    int EnumerateCount() const;
    // Opens for reading that succeeded so far: one per connection.
    int ReadOpens() const;
    // Calls of Read so far, on all handles.
    int ReadCalls() const;
    // Handles open now (Open minus Close).
    int OpenHandles() const;
    // Times a handle was closed while another thread was inside Read or
    // Write on it; the Platform contract forbids it, so tests expect 0.
    int CloseWhileBusy() const;
    // Times a handle was closed while a write was blocked in Write on any
    // handle. On Linux such a close blocks until that write ends (up to
    // 5 s); the fake only counts it, so tests can expect 0.
    int ClosesBlockedByWrite() const;

    // --- hid::Platform ---
    std::vector<DeviceInfo> Enumerate() override;
    bool TakeChanged() override;
    bool CanWaitChanged() const override;
    bool WaitChanged() override;
    void StopWaiting() override;
    Handle* Open(const std::u16string& path, Access access,
                 OpenError* error = nullptr) override;
    bool Identify(Handle* handle, DeviceIdentity& identity) override;
    bool GetReportLengths(Handle* handle, ReportLengths& lengths) override;
    int Read(Handle* handle, std::uint8_t* buf, std::size_t size,
             int timeoutMs) override;
    void InterruptRead(Handle* handle) override;
    int Write(Handle* handle, const std::uint8_t* buf,
              std::size_t size) override;
    bool WriteTimedOut(Handle* handle) override;
    void Close(Handle* handle) override;
    AccessFacts GetAccessFacts() const override;

private:
    struct Board;

    Board* FindBoard(const std::u16string& path);
    const Board* FindBoard(const std::u16string& path) const;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cond;
    std::vector<Board*> m_boards;           // plugged, enumeration order
    std::vector<Board*> m_gone;             // unplugged, still referenced
    std::set<Handle*> m_handles;
    std::vector<Handle*> m_busyClosed;
    std::map<std::u16string, std::vector<Report>> m_written;
    std::map<std::u16string, int> m_dropped;
    bool m_writeFails = false;
    bool m_writeTimesOut = false;
    bool m_writeStalls = false;
    int m_stalled = 0;
    OpenError m_openError = OpenError::None;
    bool m_openFailsAnyAccess = true;
    Access m_openFailsFor = Access::Read;
    bool m_canTell = true;
    bool m_changed = true;
    bool m_stopWaiting = false;
    int m_waitingForChange = 0;
    int m_enumerateCount = 0;
    int m_readCalls = 0;
    int m_closeWhileBusy = 0;
    int m_closesBlockedByWrite = 0;
    bool m_holdOpens = false;
    bool m_holdAnyAccess = true;
    Access m_holdFor = Access::Read;
    int m_heldOpens = 0;
    bool m_silent = false;
    bool m_readsFail = false;
    bool m_canIdentify = true;
    int m_nextInstance = 1;
    int m_readOpens = 0;
    bool m_holdCloses = false;
    int m_heldCloses = 0;
    bool m_ignoreWakes = false;
    std::thread::id m_forbidden;
    int m_forbiddenCalls = 0;
    int m_writeGiveUpMs = 5000;
    AccessFacts m_accessFacts;
};

}  // namespace hid::test
