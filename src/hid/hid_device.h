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

#include <memory>
#include <string>

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
    // written, 0 when nothing is open, the connection has failed, the
    // report was not written within kSendWaitMs, or the board has stopped
    // taking reports. Text that does not fit the report is cut at the last
    // whole character that fits; the report is always zero-terminated.
    int SendText(const std::u16string& text);

    // Payload lengths (report length minus the report-ID byte); 0 while
    // closed.
    int InLength() const;
    int OutLength() const;

    bool IsOpen() const;
    // True while the reader runs: false once the board vanished.
    bool IsReading() const;

    // Why the last Open failed (None after a success).
    hid::OpenError LastOpenError() const;

private:
    // (connection state: handles m_hWrite/m_hRead, lengths m_nOutLength/
    // m_nInLength, m_pOwner, m_bReading, reader/writer threads)
};
