#include "hid_device.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <system_error>

#include "codepage.h"

namespace {

// Long enough to cost nothing while idle, short enough that Close, which
// waits for the reader to leave its read, returns at once to the eye.
constexpr int kReadTimeoutMs = 50;

std::u16string Widen(const char* ascii)
{
    std::u16string s;
    while (*ascii) s.push_back(static_cast<unsigned char>(*ascii++));
    return s;
}

char16_t AsciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

}  // namespace

// One connection's writer thread. It closes the connection's handles
// itself when it ends, so that a write stuck on a board that stopped
// reading can be abandoned by Close: the thread keeps the writer and the
// platform alive until that write returns. Both handles wait for it,
// because Linux does not let any hidraw node be closed while a write to a
// hidraw node is in progress (the close would block for the whole write).
class CHidDevice::Writer : public std::enable_shared_from_this<Writer> {
public:
    Writer(std::shared_ptr<hid::Platform> platform, hid::Handle* hWrite)
        : m_platform(std::move(platform)), m_hWrite(hWrite)
    {
    }

    void Start()
    {
        m_thread = std::thread([self = shared_from_this()] { self->Run(); });
    }

    // Queues one report and waits at most waitMs for it to be written.
    int Send(std::vector<std::uint8_t> report, int waitMs)
    {
        auto job = std::make_shared<Job>();
        job->report = std::move(report);
        std::unique_lock lock(m_mutex);
        if (m_bStop || m_queue.size() >= kMaxPendingOutput) return 0;
        m_queue.push_back(job);
        m_cond.notify_all();
        m_cond.wait_for(lock, std::chrono::milliseconds(waitMs),
                        [&] { return job->state != Job::Pending; });
        return job->state == Job::Written ? 1 : 0;
    }

    // Drops reports not yet begun (their SendText already returned 0),
    // hands over the read handle, whose reader has ended, and ends the
    // thread; joins it unless it is inside a write.
    void Stop(hid::Handle* hRead)
    {
        bool busy;
        {
            std::lock_guard lock(m_mutex);
            m_hRead = hRead;
            m_bStop = true;
            for (auto& job : m_queue) job->state = Job::Failed;
            m_queue.clear();
            busy = m_bBusy;
            m_cond.notify_all();
        }
        if (!m_thread.joinable()) return;
        if (busy)
            m_thread.detach();
        else
            m_thread.join();
    }

private:
    struct Job {
        enum State { Pending, Written, Failed };
        std::vector<std::uint8_t> report;
        State state = Pending;
    };

    void Run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_cond.wait(lock, [&] { return m_bStop || !m_queue.empty(); });
            if (m_bStop) break;
            auto job = m_queue.front();
            m_queue.pop_front();
            m_bBusy = true;
            lock.unlock();
            int n = m_platform->Write(m_hWrite, job->report.data(), job->report.size());
            lock.lock();
            m_bBusy = false;
            job->state = n == static_cast<int>(job->report.size()) ? Job::Written : Job::Failed;
            m_cond.notify_all();
        }
        hid::Handle* hRead = m_hRead;
        lock.unlock();
        m_platform->Close(m_hWrite);
        m_platform->Close(hRead);
    }

    std::shared_ptr<hid::Platform> m_platform;
    hid::Handle* m_hWrite;
    hid::Handle* m_hRead = nullptr;  // given at Stop
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<std::shared_ptr<Job>> m_queue;
    bool m_bStop = false;
    bool m_bBusy = false;
};

CHidDevice::CHidDevice(std::shared_ptr<hid::Platform> platform)
    : m_platform(std::move(platform))
{
}

CHidDevice::~CHidDevice()
{
    Close();
}

int CHidDevice::FindDevices(int nVid, int nPid, std::u16string& path)
{
    if (!m_platform) return 0;
    if (m_platform->TakeChanged() || !m_bDevicesKnown) {
        m_devices = m_platform->Enumerate();
        m_bDevicesKnown = true;
    }

    char pattern[32];
    std::snprintf(pattern, sizeof pattern, "vid_%04x&pid_%04x", static_cast<unsigned>(nVid),
                  static_cast<unsigned>(nPid));
    const std::u16string wanted = Widen(pattern);

    for (const hid::DeviceInfo& device : m_devices) {
        // Only the first string of a multi-string ID names the device.
        std::u16string id = device.hardwareId.substr(0, device.hardwareId.find(u'\0'));
        std::transform(id.begin(), id.end(), id.begin(), AsciiLower);
        if (id.find(wanted) != std::u16string::npos) {
            path = device.path;
            return 1;
        }
    }
    return 0;
}

int CHidDevice::Open(const std::u16string& path, IHidReceiver* pOwner)
{
    Close();
    if (!m_platform) {
        m_lastOpenError = hid::OpenError::Other;
        return 0;
    }

    hid::OpenError error = hid::OpenError::Other;
    hid::Handle* hWrite = m_platform->Open(path, hid::Access::Write, &error);
    if (!hWrite) {
        m_lastOpenError = error;
        return 0;
    }
    error = hid::OpenError::Other;
    hid::Handle* hRead = m_platform->Open(path, hid::Access::Read, &error);
    if (!hRead) {
        m_platform->Close(hWrite);
        m_lastOpenError = error;
        return 0;
    }

    hid::ReportLengths lengths;
    if (!m_platform->GetReportLengths(hRead, lengths))
        lengths = {kFallbackReportLength, kFallbackReportLength};

    const std::string charset = m_charset.empty() ? hid::SystemCharset() : m_charset;
    // A read buffer never smaller than the board's own reports, so that a
    // descriptor that undercounts does not cut its text.
    const std::size_t readBuffer =
        static_cast<std::size_t>(std::max(lengths.input, kFallbackReportLength));

    auto writer = std::make_shared<Writer>(m_platform, hWrite);
    try {
        writer->Start();
    } catch (const std::system_error&) {
        m_platform->Close(hWrite);
        m_platform->Close(hRead);
        m_lastOpenError = hid::OpenError::Other;
        return 0;
    }

    m_writer = std::move(writer);
    m_hRead = hRead;
    m_nOutLength = std::max(lengths.output - 1, 0);
    m_nInLength = std::max(lengths.input - 1, 0);
    m_pOwner = pOwner;
    m_openCharset = charset;
    {
        std::lock_guard lock(m_inMutex);
        m_inQueue.clear();
        m_bInputEnded = false;
    }
    m_bStopReading = false;
    m_bReading = true;  // raised before the threads exist: Close sees it
    try {
        m_delivery = std::thread(&CHidDevice::DeliveryThreadProc, this, charset);
        m_reader = std::thread(&CHidDevice::ReadThreadProc, this, readBuffer);
    } catch (const std::system_error&) {
        Close();
        m_lastOpenError = hid::OpenError::Other;
        return 0;
    }
    m_lastOpenError = hid::OpenError::None;
    return 1;
}

void CHidDevice::Close()
{
    // The reader leaves its bounded read within kReadTimeoutMs; no handle
    // is closed before it has (hidapi forbids closing a handle being read).
    {
        std::lock_guard lock(m_inMutex);
        m_bStopReading = true;
    }
    m_inCond.notify_all();
    if (m_reader.joinable()) m_reader.join();

    // The writer closes both handles; a write stuck on a board that does
    // not read is left to finish on its own, and the handles with it.
    if (m_writer) {
        m_writer->Stop(m_hRead);
        m_writer.reset();
    } else if (m_hRead) {
        m_platform->Close(m_hRead);
    }
    m_hRead = nullptr;
    m_nOutLength = 0;
    m_nInLength = 0;

    // Every report already read still reaches the owner.
    {
        std::lock_guard lock(m_inMutex);
        m_bInputEnded = true;
    }
    m_inCond.notify_all();
    if (m_delivery.joinable()) m_delivery.join();
    m_bReading = false;
    m_pOwner = nullptr;
}

int CHidDevice::SendText(const std::u16string& text)
{
    const int outLength = m_nOutLength;
    if (!m_writer || outLength <= 0) return 0;
    std::vector<std::uint8_t> report(static_cast<std::size_t>(outLength) + 1, 0);
    hid::EncodeText(text, report.data() + 1, static_cast<std::size_t>(outLength),
                   m_openCharset);
    report[0] = 0;  // report ID
    return m_writer->Send(std::move(report), m_nSendWaitMs);
}

void CHidDevice::ReadThreadProc(std::size_t bufferSize)
{
    std::vector<std::uint8_t> buffer(bufferSize);
    while (!m_bStopReading) {
        int n = m_platform->Read(m_hRead, buffer.data(), buffer.size(), kReadTimeoutMs);
        if (n < 0) break;  // the board is gone
        if (n == 0) continue;
        std::unique_lock lock(m_inMutex);
        m_inCond.wait(lock, [&] { return m_inQueue.size() < kMaxPendingInput || m_bStopReading; });
        // Byte 0 is the report ID; the text follows.
        m_inQueue.emplace_back(buffer.begin() + 1, buffer.begin() + n);
        m_inCond.notify_all();
    }
    std::lock_guard lock(m_inMutex);
    m_bInputEnded = true;
    m_inCond.notify_all();
}

void CHidDevice::DeliveryThreadProc(std::string charset)
{
    std::deque<std::vector<std::uint8_t>> batch;
    for (;;) {
        {
            std::unique_lock lock(m_inMutex);
            m_inCond.wait(lock, [&] { return !m_inQueue.empty() || m_bInputEnded; });
            if (m_inQueue.empty()) break;
            batch.swap(m_inQueue);
            m_inCond.notify_all();  // room for a waiting reader
        }
        for (const auto& payload : batch) {
            std::u16string text = hid::DecodeText(payload.data(), payload.size(), charset);
            if (m_pOwner) m_pOwner->OnReceive(text);
        }
        batch.clear();
    }
    m_bReading = false;
}

int CHidDevice::InLength() const
{
    return m_nInLength;
}

int CHidDevice::OutLength() const
{
    return m_nOutLength;
}

bool CHidDevice::IsOpen() const
{
    return m_hRead != nullptr;
}

bool CHidDevice::IsReading() const
{
    return m_bReading;
}

hid::OpenError CHidDevice::LastOpenError() const
{
    return m_lastOpenError;
}

void CHidDevice::SetCharset(const std::string& charset)
{
    m_charset = charset;
}

void CHidDevice::SetSendWaitMs(int ms)
{
    m_nSendWaitMs = std::max(ms, 0);
}
