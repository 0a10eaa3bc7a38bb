// Which thread calls what, what blocks, and what each lock guards: service_thread.h.
#include "service_thread.h"

#include <atomic>
#include <system_error>
#include <utility>

namespace hid {

namespace {
std::atomic<bool> g_bRefuseThreads{false};
}  // namespace

void CServiceThread::RefuseThreads(bool refuse)
{
    g_bRefuseThreads = refuse;
}

CServiceThread::~CServiceThread()
{
    // Still joinable only when the thread itself let go of the last
    // reference, after its owner had gone without Stop.
    if (m_thread.joinable())
        m_thread.detach();
}

bool CServiceThread::StartLocked(Lock& lock)
{
    (void)lock;
    if (m_bStop)
        return false;
    if (!m_thread.joinable()) {
        if (g_bRefuseThreads)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                    "thread");
        // The thread waits for the lock held here before it looks at
        // anything, so m_bLooping is raised before it can be read.
        m_thread = std::thread([self = shared_from_this()] { self->Run(); });
        m_bLooping = true;
    }
    return true;
}

bool CServiceThread::Stop(Lock lock, std::chrono::milliseconds patience,
                          const std::function<void()>& interrupt)
{
    m_bStop = true;
    m_cond.notify_all();
    if (!m_thread.joinable())
        return true;
    if (interrupt) {
        lock.unlock();
        interrupt();
        lock.lock();
    }
    const auto ended = [&] { return !m_bLooping; };
    const bool done = m_cond.wait_for(lock, patience, ended);
    std::thread thread = std::move(m_thread);
    lock.unlock();
    if (done)
        thread.join();
    else
        thread.detach();
    return done;
}

void CServiceThread::Run()
{
    Lock lock(m_mutex);
    for (;;) {
        m_cond.wait(lock, [&] { return m_bStop || HasWork(); });
        if (!HasWork())
            break;
        m_bBusy = true;
        DoWork(lock);
        m_bBusy = false;
        m_cond.notify_all();
    }
    m_bLooping = false;
    m_cond.notify_all();
    OnExit(lock);
}

}  // namespace hid
