// CHidDevice on the user-interface thread, and the reader it starts per
// connection. Discovery (FindDevices, PollDevices) is in
// hid_device_scan.cpp.
//
// Threads: every function here but ReadThreadProc and the static
// OpenHandles and IsExpectedDevice (the worker's, for OpenAsync) runs on
// the user-interface thread; none blocks but the synchronous Open (on the
// kernel, as its callers know) and Close (for the
// reader to hand over the report it holds, and at most kReaderStopWaitMs
// for it to leave a read; never for the kernel).
// ReadThreadProc is the reader: it sleeps in Platform::Read until a report
// comes or Close wakes it, and shares only its Reader (and the watcher,
// itself thread-safe) with the rest; its lock is held while a report is
// handed to the owner.
// Completions posted by the worker run on the user-interface thread too,
// so the open state needs no lock.
#include "hid_device.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>

#include "change_watcher.h"
#include "codepage.h"
#include "device_worker.h"
#include "report_writer.h"

namespace {

// Closes handles off the calling thread, which may be the user-interface
// thread (a close can wait seconds in the kernel): on the worker while it
// takes jobs, else on a thread of its own. Where no thread can be had,
// they stay open until the process ends rather than hold up the caller.
void CloseElsewhere(const std::shared_ptr<hid::Platform>& platform, hid::CDeviceWorker* worker,
                    hid::Handle* a, hid::Handle* b)
{
    if (!platform || (!a && !b)) return;
    auto job = [platform, a, b] {
        platform->Close(a);
        platform->Close(b);
    };
    try {
        if (worker && worker->Submit(job)) return;
        std::thread(std::move(job)).detach();
    } catch (const std::system_error&) {
    }
}

}  // namespace

// What an open got, on its way from the worker to the user-interface
// thread. Whatever is not taken from it is closed when it goes, so that an
// open whose completion is dropped leaves nothing open; never on the thread
// that drops it, which may be the user-interface thread's closing window.
struct CHidDevice::PendingOpen {
    std::shared_ptr<hid::Platform> platform;
    std::weak_ptr<hid::CDeviceWorker> worker;
    hid::Handle* hWrite = nullptr;
    hid::Handle* hRead = nullptr;
    hid::ReportLengths lengths;
    std::u16string instance;  // the platform's, where it tells
    hid::OpenError error = hid::OpenError::Other;

    ~PendingOpen() { CloseElsewhere(platform, worker.lock().get(), hWrite, hRead); }
};

// What a connection's reader shares with the CHidDevice. The reader keeps
// it alive: one that Close stopped waiting for (inside a read that ignored
// InterruptRead) touches nothing else, hands nothing more to the owner, and
// closes its handle itself when the read returns.
struct CHidDevice::Reader {
    std::shared_ptr<hid::Platform> platform;
    std::shared_ptr<hid::CChangeWatcher> watcher;
    hid::Handle* hRead = nullptr;
    IHidReceiver* pOwner = nullptr;
    std::atomic<bool> reading{true};
    std::mutex mutex;  // held while a report is handed to the owner
    std::condition_variable cond;
    bool stop = false;       // guarded by mutex
    bool ended = false;      // guarded by mutex: the loop is left
    bool abandoned = false;  // guarded by mutex: the handle is the reader's to close
};

// The worker and the watcher exist from the start (their threads only
// once there is work): the reader may reach the watcher at any time.
CHidDevice::CHidDevice(std::shared_ptr<hid::Platform> platform)
    : m_pPlatform(std::move(platform)),
      m_pWorker(std::make_shared<hid::CDeviceWorker>(m_pPlatform)),
      m_pWatcher(std::make_shared<hid::CChangeWatcher>(m_pWorker))
{
}

CHidDevice::~CHidDevice()
{
    Close();
    m_pWatcher->Stop();
    m_pWorker->Stop();
}

bool CHidDevice::WatchChanges(std::function<void()> onChange)
{
    return m_pWatcher->Arm(std::move(onChange));
}

void CHidDevice::SetPoster(Poster post)
{
    m_pWorker->SetPoster(std::move(post));
}

bool CHidDevice::WaitIdle(int timeoutMs)
{
    return m_pWorker->WaitIdle(std::chrono::milliseconds(timeoutMs));
}

void CHidDevice::OpenHandles(hid::Platform& platform, const std::u16string& path,
                             const std::u16string& expectedId, PendingOpen& pending)
{
    hid::OpenError error = hid::OpenError::Other;
    pending.hWrite = platform.Open(path, hid::Access::Write, &error);
    if (!pending.hWrite) {
        pending.error = error;
        return;
    }
    error = hid::OpenError::Other;
    pending.hRead = platform.Open(path, hid::Access::Read, &error);
    if (!pending.hRead) {
        platform.Close(pending.hWrite);
        pending.hWrite = nullptr;
        pending.error = error;
        return;
    }
    if (!IsExpectedDevice(platform, pending, expectedId)) {
        // Not one byte has gone to it: the writer does not exist yet.
        platform.Close(std::exchange(pending.hWrite, nullptr));
        platform.Close(std::exchange(pending.hRead, nullptr));
        pending.error = hid::OpenError::NotFound;
        return;
    }
    if (!platform.GetReportLengths(pending.hRead, pending.lengths))
        pending.lengths = {kFallbackReportLength, kFallbackReportLength};
    pending.error = hid::OpenError::None;
}

// The path was found by a scan, perhaps seconds ago (an open can wait that
// long behind another device's stuck write): both handles must be on one
// device, and that the one the scan found there.
bool CHidDevice::IsExpectedDevice(hid::Platform& platform, PendingOpen& pending,
                                  const std::u16string& expectedId)
{
    hid::DeviceIdentity read, write;
    if (!platform.Identify(pending.hRead, read))
        return true;  // the platform's paths name one device for good
    if (!platform.Identify(pending.hWrite, write) || write.instance != read.instance)
        return false;
    if (!expectedId.empty() && FirstIdLower(read.hardwareId) != FirstIdLower(expectedId))
        return false;
    pending.instance = read.instance;
    return true;
}

int CHidDevice::Open(const std::u16string& path, IHidReceiver* pOwner)
{
    Close();
    if (!m_pPlatform) {
        m_lastOpenError = hid::OpenError::Other;
        return 0;
    }
    PendingOpen pending;
    pending.platform = m_pPlatform;
    pending.worker = m_pWorker;
    OpenHandles(*m_pPlatform, path, ScannedId(path), pending);
    const int result = Attach(pending, pOwner);
    if (m_lastOpenError == hid::OpenError::NotFound) ForgetScan();
    return result;
}

bool CHidDevice::OpenAsync(const std::u16string& path, IHidReceiver* pOwner, OpenDone done)
{
    if (m_opening != Opening::None) return false;
    Close();
    if (!m_pPlatform) {
        m_lastOpenError = hid::OpenError::Other;
        if (done) done(0, m_lastOpenError);
        return true;
    }
    m_opening = Opening::Pending;
    const std::weak_ptr<hid::CDeviceWorker> weakWorker = m_pWorker;
    auto job = [this, worker = m_pWorker.get(), weakWorker, path, expectedId = ScannedId(path),
                pOwner, done = std::move(done)] {
        auto pending = std::make_shared<PendingOpen>();
        pending->platform = worker->PlatformRef();
        pending->worker = weakWorker;
        OpenHandles(*pending->platform, path, expectedId, *pending);
        worker->Post([this, pending, pOwner, done] {
            const bool dropped = m_opening == Opening::Dropped;
            m_opening = Opening::None;
            int result = 0;
            if (dropped) {
                // The handles go with `pending`, on the worker.
                CloseLater(std::exchange(pending->hWrite, nullptr),
                           std::exchange(pending->hRead, nullptr));
                m_lastOpenError = hid::OpenError::Other;
            } else {
                result = Attach(*pending, pOwner);
            }
            // The list that named the path is out of date.
            if (m_lastOpenError == hid::OpenError::NotFound) ForgetScan();
            if (done) done(result, m_lastOpenError);
        });
    };
    try {
        m_pWorker->Submit(std::move(job));
    } catch (const std::system_error&) {
        m_opening = Opening::None;
        throw;
    }
    return true;
}

bool CHidDevice::IsOpening() const
{
    return m_opening != Opening::None;
}

int CHidDevice::Attach(PendingOpen& pending, IHidReceiver* pOwner)
{
    if (!pending.hWrite || !pending.hRead) {
        m_lastOpenError = pending.error;
        return 0;
    }
    const hid::ReportLengths lengths = pending.lengths;
    const std::string charset = m_strCharset.empty() ? hid::SystemCharset() : m_strCharset;
    // A read buffer never smaller than the board's own reports, so that a
    // descriptor that undercounts does not cut its text.
    const std::size_t readBuffer =
        static_cast<std::size_t>(std::max(lengths.input, kFallbackReportLength));

    auto writer = std::make_shared<hid::CReportWriter>(m_pPlatform, pending.hWrite, kMaxPendingOutput);
    try {
        writer->Start();
    } catch (const std::system_error&) {
        CloseLater(std::exchange(pending.hWrite, nullptr), std::exchange(pending.hRead, nullptr));
        m_lastOpenError = hid::OpenError::Other;
        return 0;
    }
    pending.hWrite = nullptr;  // the writer's now

    m_pWriter = std::move(writer);
    m_hRead = std::exchange(pending.hRead, nullptr);
    m_nOutLength = std::max(lengths.output - 1, 0);
    m_nInLength = std::max(lengths.input - 1, 0);
    m_nOutReportId = lengths.outputReportId;
    m_strInstance = std::move(pending.instance);
    m_strOpenCharset = charset;
    // Reading before the thread exists: Close sees it.
    auto reader = std::make_shared<Reader>();
    reader->platform = m_pPlatform;
    reader->watcher = m_pWatcher;
    reader->hRead = m_hRead;
    reader->pOwner = pOwner;
    m_pReader = reader;
    try {
        m_reader = std::thread(&CHidDevice::ReadThreadProc, reader, readBuffer, charset);
    } catch (const std::system_error&) {
        reader->reading = false;
        reader->ended = true;
        Close();
        m_lastOpenError = hid::OpenError::Other;
        return 0;
    }
    m_lastOpenError = hid::OpenError::None;
    return 1;
}

void CHidDevice::CloseLater(hid::Handle* a, hid::Handle* b)
{
    CloseElsewhere(m_pPlatform, m_pWorker.get(), a, b);
}

void CHidDevice::Close()
{
    if (m_opening == Opening::Pending) m_opening = Opening::Dropped;
    // The reader sleeps in its read until a report comes or it is woken
    // here; no handle is closed before it has left (the platform contract
    // forbids closing a handle being read). A reader that does not leave
    // in time is left with its handle.
    hid::Handle* hRead = m_hRead;
    if (m_pReader) {
        Reader& reader = *m_pReader;
        {
            std::lock_guard<std::mutex> lock(reader.mutex);  // a hand-over under way ends
            reader.stop = true;
        }
        if (m_hRead) m_pPlatform->InterruptRead(m_hRead);
        std::unique_lock<std::mutex> lock(reader.mutex);
        const bool ended = reader.cond.wait_for(lock, std::chrono::milliseconds(kReaderStopWaitMs),
                                                [&] { return reader.ended; });
        reader.abandoned = !ended;
        lock.unlock();
        if (m_reader.joinable()) {
            if (ended)
                m_reader.join();
            else
                m_reader.detach();
        }
        if (!ended) hRead = nullptr;
        m_pReader.reset();
    }

    // A write stuck on a board that does not read is left to finish on its
    // own, and the handles with it; otherwise the worker closes them.
    if (m_pWriter) {
        if (!m_pWriter->Stop(hRead)) CloseLater(m_pWriter->WriteHandle(), hRead);
        m_pWriter.reset();
    } else if (hRead) {
        CloseLater(hRead, nullptr);
    }
    m_hRead = nullptr;
    m_nOutLength = 0;
    m_nInLength = 0;
    m_nOutReportId = 0;
    m_strInstance.clear();
}

int CHidDevice::SendText(const std::u16string& text)
{
    return Send(text) == hid::SendResult::Written ? 1 : 0;
}

hid::SendResult CHidDevice::Send(const std::u16string& text, SendDone later)
{
    const int outLength = m_nOutLength;
    if (!m_pWriter) return hid::SendResult::NoBoard;
    if (outLength <= 0) return hid::SendResult::NoOutput;
    std::vector<std::uint8_t> report(static_cast<std::size_t>(outLength) + 1, 0);
    hid::EncodeText(text, report.data() + 1, static_cast<std::size_t>(outLength),
                   m_strOpenCharset);
    report[0] = m_nOutReportId;
    hid::CReportWriter::Done done;
    // The worker outlives nothing it posts to: once stopped, it drops.
    if (later)
        done = [worker = m_pWorker, later = std::move(later)](hid::SendResult result) {
            worker->Post([later, result] { later(result); });
        };
    return m_pWriter->Send(std::move(report), m_nSendWaitMs, std::move(done));
}

// Reads, decodes and hands over on this one thread: a report needs no other
// hop on its way to the owner, which never makes it wait.
void CHidDevice::ReadThreadProc(std::shared_ptr<Reader> reader, std::size_t bufferSize,
                                std::string charset)
{
    Reader& r = *reader;
    std::vector<std::uint8_t> buffer(bufferSize);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            if (r.stop) break;
        }
        const int n = r.platform->Read(r.hRead, buffer.data(), buffer.size(), -1);
        if (n < 0) break;  // the board is gone, or the handle failed
        if (n == 0) continue;
        // Byte 0 is the report ID; the text follows.
        const std::span<const std::uint8_t> data(buffer.data() + 1, static_cast<std::size_t>(n) - 1);
        const std::u16string text = hid::DecodeText(data.data(), data.size(), charset);
        std::lock_guard<std::mutex> lock(r.mutex);
        if (r.stop) break;
        if (r.pOwner) r.pOwner->OnReceive(text, data);
    }
    r.reading = false;
    bool lost = false;
    bool abandoned = false;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        lost = !r.stop;
        abandoned = r.abandoned;
        r.ended = true;
    }
    r.cond.notify_all();
    // A board lost is news to whoever waits for a change.
    if (lost) r.watcher->Fire();
    if (abandoned) r.platform->Close(r.hRead);
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
    return m_pReader && m_pReader->reading;
}

const std::u16string& CHidDevice::Instance() const
{
    return m_strInstance;
}

hid::OpenError CHidDevice::LastOpenError() const
{
    return m_lastOpenError;
}

void CHidDevice::SetCharset(const std::string& charset)
{
    m_strCharset = charset;
}

void CHidDevice::SetSendWaitMs(int ms)
{
    m_nSendWaitMs = std::max(ms, 0);
}
