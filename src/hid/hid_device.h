// The one connection to the board: discovery by vendor and product ID,
// open and close, one text line out as one output report, and every input
// report in as one line of text, handed to the owner.
//
// Reports carry text in the system code page (codepage.h): an output report
// is the report ID (0 where the board numbers no output reports), the text,
// a zero byte and zeros up to the report length; an input report's data is
// read up to its first zero byte.
//
// Threads. Every call of CHidDevice is made on one thread, the
// user-interface thread; its fields are that thread's, but for the reader's
// share (Reader, in hid_device.cpp). That thread waits for none of them for
// long: Close at most kReaderStopWaitMs (500 ms) for the reader, and the
// destructor besides at most the watcher's and the worker's Stop (500 ms
// each, device_worker.h, change_watcher.h). Behind it run:
// - the worker (device_worker.h): every call that can block in the kernel
//   for the asynchronous calls (PollDevices, OpenAsync) and for Close, whose
//   outcomes it hands to the poster given with SetPoster;
// - the change watcher (change_watcher.h), asleep in the platform's wait
//   for device changes while WatchChanges asks for one;
// - per open connection, a reader (here), which decodes every report and
//   hands it to the owner itself, and a writer (report_writer.h), so that a
//   board that stops taking reports never holds up SendText for long.
//
// Locks, and their order, written down once. The worker, the watcher and
// each writer have one mutex each, guarding their own fields (as said at
// each field). No thread holds two of them at once, and none is held while
// calling out of the device layer: into the platform (whose own locks,
// such as the hidraw monitor's, are taken inside its calls alone), the
// poster (which takes the window's: the dialog's window lock, then its
// post queue) or the owner. So the device layer's locks come before no
// other lock and after none: a poster may post again from inside its call,
// and the window's locks are never taken under one of ours.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "hid_platform.h"
#include "send_result.h"

namespace hid {
class CChangeWatcher;
class CDeviceWorker;
class CReportWriter;
}  // namespace hid

// Receives the text of every input report, and its data as the board sent
// it (without the report ID byte), once per report, in the order the board
// sent them, on the connection's reader thread (never the thread
// that called Open). It must not wait for anything that can take long (the
// user-interface thread above all): while it runs, the next report waits
// in the kernel, whose queue drops reports once 64 wait. It must not call
// back into the CHidDevice.
class IHidReceiver {
public:
    virtual ~IHidReceiver() = default;
    // `bytes` lives only for the call.
    virtual void OnReceive(const std::u16string& text, std::span<const std::uint8_t> bytes) = 0;
};

class CHidDevice {
public:
    // Longest wait SendText spends on one report before it reports failure.
    static constexpr int kSendWaitMs = 25;

    explicit CHidDevice(std::shared_ptr<hid::Platform> platform = hid::SystemPlatform());
    ~CHidDevice();  // Close()

    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;

    // Where completions of the asynchronous calls run: a function that
    // runs its argument on the user-interface thread later and never waits
    // for it (a window's Post). Calls dropped by the poster (its window is
    // gone) release what they carry. Set before the first asynchronous
    // call.
    using Poster = std::function<void(std::function<void()>)>;
    void SetPoster(Poster post);

    // Looks for the first present HID interface whose first hardware ID
    // contains "Vid_%04x&Pid_%04x" (case ignored on both sides). Returns 1
    // and stores its path in `path`, or 0 and leaves `path` untouched.
    // Scans on the calling thread when the platform reports a change.
    int FindDevices(int nVid, int nPid, std::u16string& path);

    // What PollDevices knows of the board.
    enum class Presence {
        Absent,
        Present,      // `path` names it
        NotYetKnown,  // a scan runs; ask again when it is done
    };

    // FindDevices that never blocks: answers from the last scan while the
    // platform reports no change. After a change it starts a scan on the
    // worker and answers NotYetKnown, as it does while that scan runs;
    // `onScanned` is posted once the scan is done, to ask again: that next
    // call answers from the new scan, whatever the platform reports.
    Presence PollDevices(int nVid, int nPid, std::u16string& path,
                         std::function<void()> onScanned);

    // Asks for one call of `onChange`, posted like a scan's completion,
    // as soon as a look would find something new: HID devices came or went
    // (from the platform's change events), or the reader ended by itself.
    // Lets a caller that has nothing to look for stop looking until then.
    // False where the platform cannot watch for changes: keep looking.
    // A second call before the answer replaces the first.
    bool WatchChanges(std::function<void()> onChange);

    // Opens `path` (from FindDevices) for reading and for writing, learns
    // the report lengths and starts the reader. Any connection already open
    // is closed first, and an OpenAsync in flight is dropped. Returns 1 on
    // success, 0 on failure (nothing left open). The owner must outlive the
    // connection. Blocks for as long as the kernel's open does.
    //
    // Where the platform can tell what an open handle is on, both handles
    // must be on one device, and that one the last scan found at `path`
    // (any device, for a path no scan found): otherwise nothing stays open,
    // the open fails as NotFound and the next look scans again. An open
    // that fails as NotFound always makes the next look scan.
    int Open(const std::u16string& path, IHidReceiver* pOwner);

    // Open on the worker: closes any connection at once, opens there and
    // posts done(result, why it failed) when the open has returned; the
    // connection is in place before done runs. False (and nothing done)
    // while another OpenAsync is in flight. A Close before the completion
    // drops the new connection; done is then called with 0.
    using OpenDone = std::function<void(int, hid::OpenError)>;
    bool OpenAsync(const std::u16string& path, IHidReceiver* pOwner, OpenDone done);
    // An OpenAsync is in flight (its done has not run yet).
    bool IsOpening() const;

    // Makes the next look (FindDevices, PollDevices) scan, whatever the
    // platform says of changes: for a platform whose change events may
    // never come (a container gets no device events). A scan under way
    // stands.
    void ForgetScan();

    // Tests and tools: waits until the worker has finished every job given
    // so far (closes included); false after timeoutMs.
    bool WaitIdle(int timeoutMs = 5000);

    // Stops the reader and the writer; a report being handed to the owner
    // is handed over before Close returns, and the owner gets nothing after.
    // The handles are closed on the worker (or, behind a write stuck on a
    // board that does not read, by the abandoned writer when the write
    // returns; behind a read that ignores InterruptRead, by the reader,
    // which Close waits for kReaderStopWaitMs at most): Close never waits
    // for the kernel. Idempotent.
    void Close();

    // Sends `text` as one output report. Returns 1 once the report was
    // written, 0 when nothing is open, the device has no output report, the
    // write failed, the report was not written within kSendWaitMs, or the
    // board has stopped taking reports (kMaxPendingOutput reports wait).
    // A report not written in time stays queued and may still go out later,
    // in order; Close drops those not yet begun. Text that does not fit the
    // report is cut at the last whole character that fits, and ends before
    // a character the code page lacks; the report is always zero-terminated
    // and zero-filled.
    int SendText(const std::u16string& text);

    // SendText that says what became of the report: Written, why it was
    // not, or Pending when it was not written within the send wait. Then
    // `later`, when given, is posted (like a scan's completion) with the
    // final outcome once the report is written or fails, Close dropping it
    // included (NoBoard).
    using SendDone = std::function<void(hid::SendResult)>;
    hid::SendResult Send(const std::u16string& text, SendDone later = nullptr);

    // Payload lengths (report length minus the report-ID byte); 0 while
    // closed.
    int InLength() const;
    int OutLength() const;

    bool IsOpen() const;
    // True while the reader runs: false once the board vanished or a read
    // failed, and the last report read has been handed to the owner.
    bool IsReading() const;

    // What tells the open device apart from every other, itself plugged in
    // again included, as the platform knows it; "" while closed, or where
    // the platform cannot tell.
    const std::u16string& Instance() const;

    // Why the last Open failed (None after a success).
    hid::OpenError LastOpenError() const;
    // What grants access to a board on the platform this connection uses.
    hid::AccessFacts GetAccessFacts() const { return m_pPlatform->GetAccessFacts(); }

    // The code page of the reports, as an iconv name; "" (the default)
    // means the locale's, read at each Open. Takes effect at the next Open.
    void SetCharset(const std::string& charset);

    // How long SendText waits for its report (kSendWaitMs unless set).
    // Tests that must see a write confirmed on a loaded machine wait longer.
    void SetSendWaitMs(int ms);

    // Used when the device's report descriptor cannot be read or makes no
    // sense: the board's own 64-byte reports plus the report-ID byte.
    static constexpr int kFallbackReportLength = 65;
    // Output reports waiting for the writer; beyond this SendText fails at
    // once (the board has stopped taking reports).
    static constexpr std::size_t kMaxPendingOutput = 4;

    // The longest Close waits for the reader to leave a read it was woken
    // from; one that has not by then is left to end by itself.
    static constexpr int kReaderStopWaitMs = 500;

private:
    struct PendingOpen;
    struct Reader;

    // Where FindDevices' and PollDevices' list of interfaces stands.
    enum class Scan {
        Unknown,  // never scanned
        Running,  // a scan runs on the worker
        Fresh,    // a scan has ended that no look has used yet
        Known,    // the list holds until the platform reports a change
    };
    // The OpenAsync in flight, if any.
    enum class Opening {
        None,
        Pending,  // its connection will be attached when it completes
        Dropped,  // a Close came since: its handles are closed instead
    };

    // The blocking part of an open: handles and lengths, on any thread.
    // `expectedId`: the hardware ID the scan found at `path` ("" if none).
    static void OpenHandles(hid::Platform& platform, const std::u16string& path,
                            const std::u16string& expectedId, PendingOpen& pending);
    static bool IsExpectedDevice(hid::Platform& platform, PendingOpen& pending,
                                 const std::u16string& expectedId);
    std::u16string ScannedId(const std::u16string& path) const;
    // Starts the connection's threads on what an open got.
    int Attach(PendingOpen& pending, IHidReceiver* pOwner);
    void CloseLater(hid::Handle* a, hid::Handle* b);
    int Match(int nVid, int nPid, std::u16string& path) const;
    // Lower-cased, the first string of a multi-string hardware ID.
    static std::u16string FirstIdLower(const std::u16string& hardwareId);
    static void ReadThreadProc(std::shared_ptr<Reader> reader, std::size_t bufferSize,
                               std::string charset);

    // Every field is the user-interface thread's but where said. These
    // three are set at construction and never change: the reader uses the
    // platform and the watcher too.
    std::shared_ptr<hid::Platform> m_pPlatform;
    std::shared_ptr<hid::CDeviceWorker> m_pWorker;
    std::shared_ptr<hid::CChangeWatcher> m_pWatcher;
    std::string m_strCharset;      // as set; "" = the locale's
    std::string m_strOpenCharset;  // resolved at Open
    int m_nSendWaitMs = kSendWaitMs;

    // FindDevices' view of the present interfaces, rescanned on change.
    std::vector<hid::DeviceInfo> m_devices;
    Scan m_scan = Scan::Unknown;
    Opening m_opening = Opening::None;

    // The write handle lives in the writer, which may outlive the
    // connection while a write is stuck on a board that does not read.
    std::shared_ptr<hid::CReportWriter> m_pWriter;
    hid::Handle* m_hRead = nullptr;
    // Also read by other threads.
    std::atomic<int> m_nOutLength{0};
    std::atomic<int> m_nInLength{0};
    std::uint8_t m_nOutReportId = 0;
    std::u16string m_strInstance;
    // Shared with the reader, which keeps it. m_reader itself is joined
    // (or left) by Close alone.
    std::shared_ptr<Reader> m_pReader;
    std::thread m_reader;

    hid::OpenError m_lastOpenError = hid::OpenError::None;
};
