// Which thread calls what, what blocks, and what each lock guards: report_writer.h.
#include "report_writer.h"

#include <chrono>
#include <utility>

namespace hid {

void CReportWriter::Start()
{
    Lock lock(m_mutex);
    StartLocked(lock);
}

SendResult CReportWriter::Send(std::vector<std::uint8_t> report, int waitMs, Done done)
{
    auto job = std::make_shared<Job>();
    job->report = std::move(report);
    Lock lock(m_mutex);
    if (m_bStop)
        return SendResult::NoBoard;
    if (m_queue.size() >= m_nMaxPending)
        return SendResult::QueueFull;
    m_queue.push_back(job);
    m_cond.notify_all();
    m_cond.wait_for(lock, std::chrono::milliseconds(waitMs),
                    [&] { return job->state != SendResult::Pending; });
    // Still queued or being written: whoever settles it calls `done`.
    if (job->state == SendResult::Pending)
        job->done = std::move(done);
    return job->state;
}

void CReportWriter::DoWork(Lock& lock)
{
    std::shared_ptr<Job> job = m_queue.front();
    m_queue.pop_front();
    lock.unlock();
    const int n = m_pPlatform->Write(m_hWrite, job->report.data(), job->report.size());
    const SendResult result = n == static_cast<int>(job->report.size()) ? SendResult::Written
                              : m_pPlatform->WriteTimedOut(m_hWrite) ? SendResult::TimedOut
                                                                     : SendResult::Refused;
    lock.lock();
    job->state = result;
    if (Done done = std::move(job->done)) {
        lock.unlock();
        done(result);
        done = nullptr;
        lock.lock();
    }
}

bool CReportWriter::Stop(Handle* hRead)
{
    Lock lock(m_mutex);
    std::vector<Done> dropped;
    for (auto& job : m_queue) {
        job->state = SendResult::NoBoard;
        if (job->done)
            dropped.push_back(std::move(job->done));
    }
    m_queue.clear();
    const bool busy = m_bBusy;
    if (busy)
        m_hRead = hRead;
    m_bAbandoned = busy;
    // A thread inside a write is not waited for at all.
    CServiceThread::Stop(std::move(lock),
                         busy ? std::chrono::milliseconds::zero() : kStopWait);
    for (Done& done : dropped)
        done(SendResult::NoBoard);
    return busy;
}

void CReportWriter::OnExit(Lock& lock)
{
    if (!m_bAbandoned)
        return;
    Handle* hRead = m_hRead;
    lock.unlock();
    m_pPlatform->Close(m_hWrite);
    m_pPlatform->Close(hRead);
}

}  // namespace hid
