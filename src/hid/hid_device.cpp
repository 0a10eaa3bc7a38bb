#include "hid_device.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <system_error>
#include <utility>

#include "codepage.h"

namespace {

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

// How long the destructor waits for the worker's last jobs (closes, as a
// rule) before it leaves them to finish on their own.
constexpr auto kWorkerExitWait = std::chrono::milliseconds(500);

}  // namespace

// The thread that makes every call that can block in the kernel: scans,
// opens and closes, one after the other. Shared with its jobs, so that it
// can be left to finish a call stuck in the kernel when its CHidDevice
// goes.
class CHidDevice::Worker : public std::enable_shared_from_this<Worker> {
public:
    explicit Worker(std::shared_ptr<hid::Platform> platform) : platform(std::move(platform)) {}

    const std::shared_ptr<hid::Platform> platform;

    void Submit(std::function<void()> job)
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread.joinable())
            m_thread = std::thread([self = shared_from_this()] { self->Run(); });
        m_jobs.push_back(std::move(job));
        m_cond.notify_all();
    }

    // Runs `fn` through the poster; dropped (and destroyed here) when there
    // is none any more.
    void Post(std::function<void()> fn)
    {
        std::lock_guard lock(m_mutex);
        if (m_poster) m_poster(std::move(fn));
    }

    void SetPoster(Poster poster)
    {
        std::lock_guard lock(m_mutex);
        m_poster = std::move(poster);
    }

    bool WaitIdle(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_cond.wait_for(lock, timeout, [&] { return m_jobs.empty() && !m_bBusy; });
    }

    // Ends the thread once its jobs are done; waits for that a little, and
    // leaves it to finish by itself after that.
    void Stop()
    {
        std::thread thread;
        {
            std::unique_lock lock(m_mutex);
            m_poster = nullptr;
            m_bStop = true;
            m_cond.notify_all();
            const bool idle = m_cond.wait_for(lock, kWorkerExitWait,
                                              [&] { return m_jobs.empty() && !m_bBusy; });
            thread = std::move(m_thread);
            if (!idle && thread.joinable()) {
                thread.detach();
                return;
            }
        }
        if (thread.joinable()) thread.join();
    }

private:
    void Run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_cond.wait(lock, [&] { return m_bStop || !m_jobs.empty(); });
            if (m_jobs.empty()) break;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_bBusy = true;
            lock.unlock();
            job();
            job = nullptr;
            lock.lock();
            m_bBusy = false;
            m_cond.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<std::function<void()>> m_jobs;
    Poster m_poster;
    bool m_bStop = false;
    bool m_bBusy = false;
    std::thread m_thread;
};

// Sleeps in the platform's wait for device changes while a caller waits
// for one, and posts that caller's function when one comes. Armed for one
// answer at a time, so that an unread change (the wait would return at
// once) never makes it spin.
class CHidDevice::Watcher : public std::enable_shared_from_this<Watcher> {
public:
    explicit Watcher(std::shared_ptr<Worker> worker) : m_worker(std::move(worker)) {}

    // Starts the thread where the platform can wait for changes; it sleeps
    // until armed. Started with the first look rather than the first wait,
    // so that the device layer's threads are all there from then on.
    bool Start()
    {
        hid::Platform* platform = m_worker->platform.get();
        if (!platform || !platform->CanWaitChanged()) return false;
        std::lock_guard lock(m_mutex);
        if (m_bStop) return false;
        if (!m_thread.joinable())
            m_thread = std::thread([self = shared_from_this()] { self->Run(); });
        return true;
    }

    bool Arm(std::function<void()> onChange)
    {
        if (!Start()) return false;
        std::lock_guard lock(m_mutex);
        if (m_bStop) return false;
        m_onChange = std::move(onChange);
        m_bArmed = true;
        m_cond.notify_all();
        return true;
    }

    // Answers at once, from any thread, if armed.
    void Fire()
    {
        std::function<void()> fn;
        {
            std::lock_guard lock(m_mutex);
            if (!m_bArmed) return;
            m_bArmed = false;
            fn = std::move(m_onChange);
        }
        if (fn) m_worker->Post(std::move(fn));
    }

    void Stop()
    {
        std::thread thread;
        {
            std::lock_guard lock(m_mutex);
            m_bStop = true;
            m_bArmed = false;
            m_onChange = nullptr;
            m_cond.notify_all();
            thread = std::move(m_thread);
        }
        if (!thread.joinable()) return;
        m_worker->platform->StopWaiting();
        thread.join();
    }

private:
    void Run()
    {
        hid::Platform& platform = *m_worker->platform;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_cond.wait(lock, [&] { return m_bStop || m_bArmed; });
            if (m_bStop) break;
            lock.unlock();
            const bool changed = platform.WaitChanged();
            if (changed) Fire();
            lock.lock();
        }
    }

    const std::shared_ptr<Worker> m_worker;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::function<void()> m_onChange;
    bool m_bArmed = false;
    bool m_bStop = false;
    std::thread m_thread;
};

// What an open got, on its way from the worker to the user-interface
// thread. Whatever is not taken from it is closed with it, so that an open
// whose completion is dropped leaves nothing open.
struct CHidDevice::PendingOpen {
    std::shared_ptr<hid::Platform> platform;
    hid::Handle* hWrite = nullptr;
    hid::Handle* hRead = nullptr;
    hid::ReportLengths lengths;
    hid::OpenError error = hid::OpenError::Other;

    ~PendingOpen()
    {
        if (platform) {
            platform->Close(hWrite);
            platform->Close(hRead);
        }
    }
};

// One connection's writer thread. When Close finds it inside a write, it
// is abandoned and closes the connection's handles itself once that write
// returns: the thread keeps the writer and the platform alive until then.
// Both handles wait for it, because Linux does not let any hidraw node be
// closed while a write to a hidraw node is in progress (the close would
// block for the whole write).
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

    // Drops reports not yet begun (their SendText already returned 0) and
    // ends the thread. Inside a write, the thread is abandoned with the read
    // handle, whose reader has ended, and closes both itself: returns true.
    // Otherwise joins it (it only waits for work) and returns false: the
    // caller closes the write handle (WriteHandle) and the read handle.
    bool Stop(hid::Handle* hRead)
    {
        bool busy;
        {
            std::lock_guard lock(m_mutex);
            m_bStop = true;
            for (auto& job : m_queue) job->state = Job::Failed;
            m_queue.clear();
            busy = m_bBusy;
            if (busy) m_hRead = hRead;
            m_bAbandoned = busy;
            m_cond.notify_all();
        }
        if (!m_thread.joinable()) return busy;
        if (busy)
            m_thread.detach();
        else
            m_thread.join();
        return busy;
    }

    hid::Handle* WriteHandle() const { return m_hWrite; }

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
        if (!m_bAbandoned) return;
        hid::Handle* hRead = m_hRead;
        lock.unlock();
        m_platform->Close(m_hWrite);
        m_platform->Close(hRead);
    }

    std::shared_ptr<hid::Platform> m_platform;
    hid::Handle* m_hWrite;
    hid::Handle* m_hRead = nullptr;  // given at Stop when abandoned
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<std::shared_ptr<Job>> m_queue;
    bool m_bStop = false;
    bool m_bBusy = false;
    bool m_bAbandoned = false;
};

// The worker and the watcher exist from the start (their threads only
// once there is work): the reader may reach the watcher at any time.
CHidDevice::CHidDevice(std::shared_ptr<hid::Platform> platform)
    : m_platform(std::move(platform)),
      m_worker(std::make_shared<Worker>(m_platform)),
      m_watcher(std::make_shared<Watcher>(m_worker))
{
}

CHidDevice::~CHidDevice()
{
    Close();
    m_watcher->Stop();
    m_worker->Stop();
}

std::shared_ptr<CHidDevice::Worker> CHidDevice::GetWorker()
{
    return m_worker;
}

bool CHidDevice::WatchChanges(std::function<void()> onChange)
{
    return m_watcher->Arm(std::move(onChange));
}

void CHidDevice::SetPoster(Poster post)
{
    GetWorker()->SetPoster(std::move(post));
}

bool CHidDevice::WaitIdle(int timeoutMs)
{
    return m_worker->WaitIdle(std::chrono::milliseconds(timeoutMs));
}

int CHidDevice::Match(int nVid, int nPid, std::u16string& path) const
{
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

int CHidDevice::FindDevices(int nVid, int nPid, std::u16string& path)
{
    if (!m_platform) return 0;
    if (m_platform->TakeChanged() || !m_bDevicesKnown) {
        m_devices = m_platform->Enumerate();
        m_bDevicesKnown = true;
    }
    return Match(nVid, nPid, path);
}

int CHidDevice::PollDevices(int nVid, int nPid, std::u16string& path,
                            std::function<void()> onScanned)
{
    if (!m_platform) return 0;
    if (!m_bWatcherStarted) m_bWatcherStarted = m_watcher->Start();
    if (m_bScanning) return -1;
    // The first look after a scan answers from it. Asking the platform
    // again there would start another scan on a platform that reports a
    // change every time, and no answer would ever come.
    if (m_bFreshScan) {
        m_bFreshScan = false;
        return Match(nVid, nPid, path);
    }
    if (m_platform->TakeChanged() || !m_bDevicesKnown) {
        m_bScanning = true;
        std::shared_ptr<Worker> worker = GetWorker();
        worker->Submit([this, worker = worker.get(), onScanned = std::move(onScanned)] {
            auto list = std::make_shared<std::vector<hid::DeviceInfo>>(worker->platform->Enumerate());
            worker->Post([this, list, onScanned] {
                m_devices = std::move(*list);
                m_bDevicesKnown = true;
                m_bScanning = false;
                m_bFreshScan = true;
                if (onScanned) onScanned();
            });
        });
        return -1;
    }
    return Match(nVid, nPid, path);
}

void CHidDevice::OpenHandles(hid::Platform& platform, const std::u16string& path,
                             PendingOpen& pending)
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
    if (!platform.GetReportLengths(pending.hRead, pending.lengths))
        pending.lengths = {kFallbackReportLength, kFallbackReportLength};
    pending.error = hid::OpenError::None;
}

int CHidDevice::Open(const std::u16string& path, IHidReceiver* pOwner)
{
    Close();
    if (!m_platform) {
        m_lastOpenError = hid::OpenError::Other;
        return 0;
    }
    PendingOpen pending;
    pending.platform = m_platform;
    OpenHandles(*m_platform, path, pending);
    return Attach(pending, pOwner);
}

bool CHidDevice::OpenAsync(const std::u16string& path, IHidReceiver* pOwner, OpenDone done)
{
    if (m_bOpening) return false;
    Close();
    if (!m_platform) {
        m_lastOpenError = hid::OpenError::Other;
        if (done) done(0, m_lastOpenError);
        return true;
    }
    m_bOpening = true;
    const unsigned generation = m_nGeneration;
    std::shared_ptr<Worker> worker = GetWorker();
    worker->Submit([this, worker = worker.get(), path, pOwner, generation,
                    done = std::move(done)] {
        auto pending = std::make_shared<PendingOpen>();
        pending->platform = worker->platform;
        OpenHandles(*worker->platform, path, *pending);
        worker->Post([this, pending, pOwner, generation, done] {
            m_bOpening = false;
            int result = 0;
            if (generation != m_nGeneration) {
                // Closed meanwhile: the handles go with `pending`, on the
                // worker.
                CloseLater(std::exchange(pending->hWrite, nullptr),
                           std::exchange(pending->hRead, nullptr));
                m_lastOpenError = hid::OpenError::Other;
            } else {
                result = Attach(*pending, pOwner);
            }
            if (done) done(result, m_lastOpenError);
        });
    });
    return true;
}

bool CHidDevice::IsOpening() const
{
    return m_bOpening;
}

int CHidDevice::Attach(PendingOpen& pending, IHidReceiver* pOwner)
{
    if (!pending.hWrite || !pending.hRead) {
        m_lastOpenError = pending.error;
        return 0;
    }
    const hid::ReportLengths lengths = pending.lengths;
    const std::string charset = m_charset.empty() ? hid::SystemCharset() : m_charset;
    // A read buffer never smaller than the board's own reports, so that a
    // descriptor that undercounts does not cut its text.
    const std::size_t readBuffer =
        static_cast<std::size_t>(std::max(lengths.input, kFallbackReportLength));

    auto writer = std::make_shared<Writer>(m_platform, pending.hWrite);
    try {
        writer->Start();
    } catch (const std::system_error&) {
        CloseLater(std::exchange(pending.hWrite, nullptr), std::exchange(pending.hRead, nullptr));
        m_lastOpenError = hid::OpenError::Other;
        return 0;
    }
    pending.hWrite = nullptr;  // the writer's now

    m_writer = std::move(writer);
    m_hRead = std::exchange(pending.hRead, nullptr);
    m_nOutLength = std::max(lengths.output - 1, 0);
    m_nInLength = std::max(lengths.input - 1, 0);
    m_openCharset = charset;
    m_bStopReading = false;
    m_bReading = true;  // raised before the thread exists: Close sees it
    try {
        m_reader = std::thread(&CHidDevice::ReadThreadProc, this, m_hRead, readBuffer, charset,
                               pOwner);
    } catch (const std::system_error&) {
        m_bReading = false;
        Close();
        m_lastOpenError = hid::OpenError::Other;
        return 0;
    }
    m_lastOpenError = hid::OpenError::None;
    return 1;
}

void CHidDevice::CloseLater(hid::Handle* a, hid::Handle* b)
{
    if (!a && !b) return;
    std::shared_ptr<Worker> worker = GetWorker();
    worker->Submit([platform = worker->platform, a, b] {
        platform->Close(a);
        platform->Close(b);
    });
}

void CHidDevice::Close()
{
    ++m_nGeneration;
    // The reader sleeps in its read until a report comes or it is woken
    // here; no handle is closed before it has left (hidapi and the
    // platform contract forbid closing a handle being read).
    m_bStopReading = true;
    if (m_hRead) m_platform->InterruptRead(m_hRead);
    if (m_reader.joinable()) m_reader.join();

    // A write stuck on a board that does not read is left to finish on its
    // own, and the handles with it; otherwise the worker closes them.
    if (m_writer) {
        if (!m_writer->Stop(m_hRead)) CloseLater(m_writer->WriteHandle(), m_hRead);
        m_writer.reset();
    } else if (m_hRead) {
        CloseLater(m_hRead, nullptr);
    }
    m_hRead = nullptr;
    m_nOutLength = 0;
    m_nInLength = 0;
    m_bReading = false;
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

// Reads, decodes and hands over on this one thread: a report needs no other
// hop on its way to the owner, which never makes it wait. Sleeps in the
// read until a report comes or Close wakes it.
void CHidDevice::ReadThreadProc(hid::Handle* hRead, std::size_t bufferSize, std::string charset,
                                IHidReceiver* pOwner)
{
    std::vector<std::uint8_t> buffer(bufferSize);
    while (!m_bStopReading) {
        const int n = m_platform->Read(hRead, buffer.data(), buffer.size(), -1);
        if (n < 0) break;  // the board is gone, or the handle failed
        if (n == 0 || m_bStopReading) continue;
        // Byte 0 is the report ID; the text follows.
        const std::u16string text =
            hid::DecodeText(buffer.data() + 1, static_cast<std::size_t>(n) - 1, charset);
        if (pOwner) pOwner->OnReceive(text);
    }
    const bool lost = !m_bStopReading;
    m_bReading = false;
    // A board lost is news to whoever waits for a change.
    if (lost) m_watcher->Fire();
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
