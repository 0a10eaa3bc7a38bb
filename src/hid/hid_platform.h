// The operating system as the device connection sees it.
//
// Everything that touches the system's HID stack goes through this
// interface: one implementation per system the build knows
// (linux/: hidapi's hidraw backend, the hidraw nodes, sysfs and libudev;
// win32/: SetupAPI, hid.dll and the device notifications), and a fake in
// the tests.
// Nothing else in the program includes any of those or names their paths.
// tests/hid/platform_contract_test.cpp holds every implementation to what
// is promised here.
//
// Threads: Enumerate, Open, GetReportLengths and Close can block in the
// kernel (see Open); Identify, called where Open is, does not. CHidDevice's
// asynchronous calls make them on its worker thread, never on the
// user-interface thread; its synchronous FindDevices and Open, meant for
// tools and tests, on their caller; Close also on an abandoned writer's
// thread (report_writer.h). TakeChanged is called on the user-interface
// thread and must return within a few milliseconds whatever is pending;
// WaitChanged on the change watcher's thread. The platform is made and
// destroyed on the user-interface thread: making it waits for nothing the
// system may hold up (a registration with a busy service runs on a thread
// of its own), destroying it at most half a second. Read is called on the
// connection's reader thread, Write on its writer thread; each with its
// own handle, so one handle is never used by two threads at once.
// InterruptRead may be called from any thread while its handle is open.
// Close is never called on a handle while another thread is inside Read
// or Write on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hid {

// One present HID interface.
struct DeviceInfo {
    // What Open accepts. On Linux, the hidraw node ("/dev/hidraw3").
    std::u16string path;
    // The first hardware ID, formed as Windows forms it:
    // "HID\VID_04D8&PID_003F&REV_0002", optionally followed by further
    // "&..." qualifiers the platform knows.
    std::u16string hardwareId;
};

// Report lengths in bytes, each counting the report-ID byte in front, as
// Windows' HID capabilities give them: a device with 64-byte reports and
// no report IDs has 65/65. 0 means the device has no report of that kind.
struct ReportLengths {
    int input = 0;
    int output = 0;
    // Byte 0 of every output report Write is given: the report's ID where
    // the device numbers its output reports, else 0.
    std::uint8_t outputReportId = 0;
};

// What an open handle is connected to, as the handle itself tells.
struct DeviceIdentity {
    // Formed as DeviceInfo::hardwareId's first string.
    std::u16string hardwareId;
    // Tells this device apart from every other, itself plugged in again
    // included: two handles with the same instance are on one device.
    std::u16string instance;
};

enum class Access { Read, Write };

enum class OpenError {
    None,
    NotFound,          // the path no longer exists (board unplugged)
    PermissionDenied,  // the node exists but this user may not open it
    // Another program has the board open and shares it with no one; the
    // open succeeds once that program lets go. (Linux shares every hidraw
    // node, so there no open fails so.)
    HeldByOther,
    Other,
};

// What grants a user access to a board's node on this system: facts for
// the words the console shows when an open is refused for lack of
// permission (OpenError::PermissionDenied). Names of files and commands
// only, never sentences; an empty field means this system has nothing of
// the kind.
struct AccessFacts {
    // The service whose rules say who may open a node ("udev"), this
    // program's rule file among them, and the folders it is read from.
    std::string ruleService;
    std::string ruleFile;
    std::vector<std::string> ruleFolders;
    // What installs the rule from the sources (the program's package
    // installs it too).
    std::string installCommand;
    // What applies the rules to a board already plugged in; plugging it in
    // again always does.
    std::string applyCommand;
    // The system refuses an open the same way while another program holds
    // the board for itself.
    bool refusedWhileHeld = false;
};

// Opaque per-platform connection; nullptr is the closed value.
struct Handle;

class Platform {
public:
    virtual ~Platform() = default;

    // Every present HID interface, each path once, in the platform's
    // enumeration order. Blocks for the length of a device scan
    // (milliseconds); never fails: an unreadable system gives an empty list.
    virtual std::vector<DeviceInfo> Enumerate() = 0;

    // Non-blocking. True when HID interfaces may have been added or removed
    // since the previous call (the first call, and any call on a platform
    // that cannot tell, answers true). A false answer promises that
    // Enumerate would return what it returned last time.
    virtual bool TakeChanged() = 0;

    // Whether WaitChanged can tell when devices come or go. Where it
    // cannot (no change events on this system), the caller has to keep
    // asking TakeChanged.
    virtual bool CanWaitChanged() const { return false; }

    // Sleeps until TakeChanged may answer true (true) or StopWaiting is
    // called (false). Called from one thread at a time; TakeChanged may run
    // on another meanwhile. Returns false at once where CanWaitChanged is
    // false.
    virtual bool WaitChanged() { return false; }

    // Makes a WaitChanged in progress return false at once, and the next
    // one too if none is in progress. Callable from any thread.
    virtual void StopWaiting() {}

    // Opens one path for reading or for writing. Returns nullptr on failure
    // and sets *error when given. May block in the kernel: on Linux the
    // first open of a hidraw node sleeps about 50 ms, and every open and
    // close of any hidraw node waits while a write to any hidraw node is in
    // progress (up to about 5 s per write to a device that does not read).
    virtual Handle* Open(const std::u16string& path, Access access,
                         OpenError* error = nullptr) = 0;

    // The device behind an open handle, learnt from the handle (never from
    // its path: by the time of the open, the device a scan found there may
    // have gone and another taken its path). False where the platform
    // cannot tell, because its paths each name one device for good (a
    // Windows interface path holds the device's instance).
    virtual bool Identify(Handle* handle, DeviceIdentity& identity)
    {
        (void)handle;
        (void)identity;
        return false;
    }

    // The open device's report lengths, from its report descriptor.
    // False when the descriptor cannot be had; lengths are then untouched.
    virtual bool GetReportLengths(Handle* handle, ReportLengths& lengths) = 0;

    // Waits at most timeoutMs (without limit when negative) for one input
    // report and copies it into buf in Windows' form: byte 0 is the report
    // ID (0 on a device without report IDs), the report's data follows.
    // Returns the number of bytes stored (at most size; a longer report is
    // cut), 0 on timeout or after InterruptRead, -1 when the device is gone
    // or the handle failed; after -1 the handle only serves for Close.
    // Reports that came before the device went may be returned first
    // (hidraw), or lost with it (Windows, as Wine does it).
    virtual int Read(Handle* handle, std::uint8_t* buf, std::size_t size,
                     int timeoutMs) = 0;

    // Makes a Read in progress on `handle` return 0 at once, and the next
    // one too if none is in progress. Callable from any thread while the
    // handle is open: it is how Close ends a reader that waits without
    // limit.
    virtual void InterruptRead(Handle* handle) { (void)handle; }

    // Writes one output report, byte 0 being the report ID. Blocks until
    // the OS took the report. A device that does not read takes a few
    // (its USB queue), then each write waits until the platform gives up
    // (about 5 s: hidraw's bound, and the Windows platform's own) and
    // fails. Returns the bytes written or -1; a report the call claimed
    // reaches the device once it reads again.
    virtual int Write(Handle* handle, const std::uint8_t* buf,
                      std::size_t size) = 0;

    // Whether the last Write on `handle` failed because the device took
    // no report for the whole of the system's wait (a board that stopped
    // reading), rather than being refused. Asked on the writer's thread
    // right after that Write.
    virtual bool WriteTimedOut(Handle* handle)
    {
        (void)handle;
        return false;
    }

    // Releases the handle; nullptr is ignored. May block in the kernel as
    // Open does.
    virtual void Close(Handle* handle) = 0;

    // What grants access to a board on this platform, for the words around
    // a refused open. Constant for the platform's life; callable from any
    // thread. Nothing by default: no rule to name, no refusal that looks
    // like another.
    virtual AccessFacts GetAccessFacts() const { return {}; }
};

// The platform of the machine the program runs on.
std::shared_ptr<Platform> SystemPlatform();

}  // namespace hid
