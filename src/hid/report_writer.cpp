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

int CReportWriter::Send(std::vector<std::uint8_t> report, int waitMs)
{
    auto job = std::make_shared<Job>();
    job->report = std::move(report);
    Lock lock(m_mutex);
    if (m_bStop || m_queue.size() >= m_nMaxPending)
        return 0;
    m_queue.push_back(job);
    m_cond.notify_all();
    m_cond.wait_for(lock, std::chrono::milliseconds(waitMs),
                    [&] { return job->state != Job::Pending; });
    return job->state == Job::Written ? 1 : 0;
}

void CReportWriter::DoWork(Lock& lock)
{
    std::shared_ptr<Job> job = m_queue.front();
    m_queue.pop_front();
    lock.unlock();
    const int n = m_pPlatform->Write(m_hWrite, job->report.data(), job->report.size());
    lock.lock();
    job->state = n == static_cast<int>(job->report.size()) ? Job::Written : Job::Failed;
}

bool CReportWriter::Stop(Handle* hRead)
{
    Lock lock(m_mutex);
    for (auto& job : m_queue)
        job->state = Job::Failed;
    m_queue.clear();
    const bool busy = m_bBusy;
    if (busy)
        m_hRead = hRead;
    m_bAbandoned = busy;
    // A thread inside a write is not waited for at all.
    CServiceThread::Stop(std::move(lock),
                         busy ? std::chrono::milliseconds::zero() : kStopWait);
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
