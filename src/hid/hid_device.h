// The one connection to the board: discovery by vendor and product ID,
// open and close, one text line out as one output report, and every input
// report in as one line of text, handed to the owner.
//
// Reports carry text in the system code page (codepage.h): an output report
// is the report ID 0, the text, a zero byte and zeros up to the report
// length; an input report's data is read up to its first zero byte.
//
// Threads: every call is made on one thread (the user-interface thread).
// Each open connection runs a reader, which never waits for the owner's
// display, and a writer, so that a board that stops taking reports never
// holds up the caller of SendText for long.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hid_platform.h"

// Receives the text of every input report, once per report, in the order
// the board sent them, on the connection's delivery thread (never the
// thread that called Open). It must return promptly and must not call back
// into the CHidDevice.
class IHidReceiver {
public:
    virtual ~IHidReceiver() = default;
    virtual void OnReceive(const std::u16string& text) = 0;
};

class CHidDevice {
public:
    // Longest wait SendText spends on one report before it reports failure.
    static constexpr int kSendWaitMs = 25;

    explicit CHidDevice(std::shared_ptr<hid::Platform> platform = hid::SystemPlatform());
    ~CHidDevice();  // Close()

    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;

    // Looks for the first present HID interface whose first hardware ID
    // contains "Vid_%04x&Pid_%04x" (case ignored on both sides). Returns 1
    // and stores its path in `path`, or 0 and leaves `path` untouched.
    // Cheap enough for every 50 ms tick: the device list is scanned again
    // only when the platform reports a change.
    int FindDevices(int nVid, int nPid, std::u16string& path);

    // Opens `path` (from FindDevices) for reading and for writing, learns
    // the report lengths and starts the reader. Any connection already open
    // is closed first. Returns 1 on success, 0 on failure (nothing left
    // open). The owner must outlive the connection.
    int Open(const std::u16string& path, IHidReceiver* pOwner);

    // Stops the reader and the writer and closes the handles; every report
    // already read is handed to the owner before Close returns. Idempotent.
    // A write stuck on a board that does not read is abandoned, not waited
    // for.
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

    // Payload lengths (report length minus the report-ID byte); 0 while
    // closed.
    int InLength() const;
    int OutLength() const;

    bool IsOpen() const;
    // True while the input side runs: false once the board vanished and
    // every report read before has been handed to the owner.
    bool IsReading() const;

    // Why the last Open failed (None after a success).
    hid::OpenError LastOpenError() const;

    // The code page of the reports, as an iconv name; "" (the default)
    // means the locale's, read at each Open. Takes effect at the next Open.
    void SetCharset(const std::string& charset);

    // How long SendText waits for its report (kSendWaitMs unless set).
    // Tests that must see a write confirmed on a loaded machine wait longer.
    void SetSendWaitMs(int ms);

    // Used when the device's report descriptor cannot be read or makes no
    // sense: the board's own 64-byte reports plus the report-ID byte.
    static constexpr int kFallbackReportLength = 65;
    // Reports read but not yet handed to the owner; beyond this the reader
    // waits, and the OS queue takes the overflow.
    static constexpr std::size_t kMaxPendingInput = 65536;
    // Output reports waiting for the writer; beyond this SendText fails at
    // once (the board has stopped taking reports).
    static constexpr std::size_t kMaxPendingOutput = 4;

private:
    class Writer;

    void ReadThreadProc(std::size_t bufferSize);
    void DeliveryThreadProc(std::string charset);

    std::shared_ptr<hid::Platform> m_platform;
    std::string m_charset;      // as set; "" = the locale's
    std::string m_openCharset;  // resolved at Open
    int m_nSendWaitMs = kSendWaitMs;

    // FindDevices' view of the present interfaces, rescanned on change.
    std::vector<hid::DeviceInfo> m_devices;
    bool m_bDevicesKnown = false;

    // The write handle lives in the writer, which may outlive the
    // connection while a write is stuck on a board that does not read.
    std::shared_ptr<Writer> m_writer;
    hid::Handle* m_hRead = nullptr;
    std::atomic<int> m_nOutLength{0};
    std::atomic<int> m_nInLength{0};
    IHidReceiver* m_pOwner = nullptr;
    // The input side (reader and hand-over) is running.
    std::atomic<bool> m_bReading{false};
    std::atomic<bool> m_bStopReading{false};
    std::thread m_reader;
    std::thread m_delivery;

    // Reports read, waiting for the delivery thread (payload bytes only).
    std::mutex m_inMutex;
    std::condition_variable m_inCond;
    std::deque<std::vector<std::uint8_t>> m_inQueue;
    bool m_bInputEnded = false;

    hid::OpenError m_lastOpenError = hid::OpenError::None;
};
