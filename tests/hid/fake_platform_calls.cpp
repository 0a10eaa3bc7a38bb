// The platform's calls, as the device layer makes them, on the fake
// boards.
#include "fake_platform.h"
#include "fake_platform_records.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace hid::test {

std::vector<DeviceInfo> FakePlatform::Enumerate()
{
    std::lock_guard lock(m_mutex);
    if (std::this_thread::get_id() == m_forbidden) ++m_forbiddenCalls;
    ++m_enumerateCount;
    std::vector<DeviceInfo> list;
    for (const Board* b : m_boards) list.push_back({b->info.path, b->info.hardwareId});
    return list;
}

bool FakePlatform::TakeChanged()
{
    std::lock_guard lock(m_mutex);
    bool changed = m_changed || !m_canTell;
    m_changed = false;
    return changed;
}

bool FakePlatform::CanWaitChanged() const
{
    std::lock_guard lock(m_mutex);
    return m_canTell;
}

bool FakePlatform::WaitChanged()
{
    std::unique_lock lock(m_mutex);
    if (!m_canTell) return false;
    ++m_waitingForChange;
    m_cond.notify_all();
    m_cond.wait(lock, [&] { return m_changed || m_stopWaiting; });
    --m_waitingForChange;
    const bool stopped = std::exchange(m_stopWaiting, false);
    return !stopped;
}

void FakePlatform::StopWaiting()
{
    std::lock_guard lock(m_mutex);
    if (m_ignoreWakes) return;
    m_stopWaiting = true;
    m_cond.notify_all();
}

bool FakePlatform::WaitForChangeWaiter(int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return m_waitingForChange > 0; });
}

Handle* FakePlatform::Open(const std::u16string& path, Access access, OpenError* error)
{
    std::unique_lock lock(m_mutex);
    if (std::this_thread::get_id() == m_forbidden) ++m_forbiddenCalls;
    auto held = [&] { return m_holdOpens && (m_holdAnyAccess || m_holdFor == access); };
    if (held()) {
        ++m_heldOpens;
        m_cond.notify_all();
        m_cond.wait(lock, [&] { return !held(); });
        --m_heldOpens;
    }
    OpenError e = OpenError::None;
    const Board* board = FindBoard(path);
    if (m_openError != OpenError::None && (m_openFailsAnyAccess || m_openFailsFor == access))
        e = m_openError;
    else if (!board)
        e = OpenError::NotFound;
    if (error) *error = e;
    if (e != OpenError::None) return nullptr;
    if (access == Access::Read) ++m_readOpens;
    auto* fh = new FakeHandle{path, access, board};
    Handle* h = reinterpret_cast<Handle*>(fh);
    m_handles.insert(h);
    return h;
}

bool FakePlatform::Identify(Handle* handle, DeviceIdentity& identity)
{
    std::lock_guard lock(m_mutex);
    if (!m_canIdentify) return false;
    const Board* b = static_cast<const Board*>(Cast(handle)->board);
    identity.hardwareId = b->info.hardwareId.substr(0, b->info.hardwareId.find(u'\0'));
    const std::string instance = "fake#" + std::to_string(b->instance);
    identity.instance.assign(instance.begin(), instance.end());
    return true;
}

// The handle's own board's, as a descriptor read at the open.
bool FakePlatform::GetReportLengths(Handle* handle, ReportLengths& lengths)
{
    std::lock_guard lock(m_mutex);
    const Board* b = static_cast<const Board*>(Cast(handle)->board);
    if (!b || !b->info.lengthsReadable) return false;
    lengths = b->info.lengths;
    return true;
}

int FakePlatform::Read(Handle* handle, std::uint8_t* buf, std::size_t size, int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    FakeHandle* fh = Cast(handle);
    ++m_readCalls;
    ++fh->busy;
    auto ready = [&] {
        return !fh->plugged || m_readsFail || !fh->input.empty() || fh->interrupted;
    };
    if (timeoutMs < 0)
        m_cond.wait(lock, ready);
    else
        m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    --fh->busy;
    if (fh->interrupted) {
        fh->interrupted = false;
        return 0;
    }
    if (m_readsFail || (!fh->plugged && (fh->input.empty() || fh->broken))) return -1;
    if (fh->input.empty()) return 0;
    Report r = std::move(fh->input.front());
    fh->input.pop_front();
    std::size_t n = std::min(size, r.size());
    std::copy_n(r.begin(), n, buf);
    m_cond.notify_all();  // WaitInputDrained
    return static_cast<int>(n);
}

void FakePlatform::InterruptRead(Handle* handle)
{
    std::lock_guard lock(m_mutex);
    if (!m_handles.count(handle) || m_ignoreWakes) return;
    Cast(handle)->interrupted = true;
    m_cond.notify_all();
}

int FakePlatform::Write(Handle* handle, const std::uint8_t* buf, std::size_t size)
{
    std::unique_lock lock(m_mutex);
    FakeHandle* fh = Cast(handle);
    ++fh->busy;
    if (m_writeStalls) {
        ++m_stalled;
        m_cond.wait(lock, [&] { return !m_writeStalls || !fh->plugged; });
        --m_stalled;
    }
    Board* board = static_cast<Board*>(const_cast<void*>(fh->board));
    if (fh->plugged && !m_writeFails && board && !board->reads &&
        board->unread.size() >= kUnreadReports) {
        ++m_stalled;
        m_cond.wait_for(lock, std::chrono::milliseconds(m_writeGiveUpMs),
                        [&] { return board->reads || !fh->plugged; });
        --m_stalled;
        if (!board->reads) {
            --fh->busy;
            return -1;
        }
    }
    --fh->busy;
    fh->writeTimedOut = fh->plugged && m_writeFails && m_writeTimesOut;
    if (!fh->plugged || m_writeFails) return -1;
    if (board && !board->reads) {
        board->unread.emplace_back(buf, buf + size);
        return static_cast<int>(size);
    }
    m_written[fh->path].emplace_back(buf, buf + size);
    m_cond.notify_all();
    return static_cast<int>(size);
}

void FakePlatform::Close(Handle* handle)
{
    if (!handle) return;
    std::unique_lock lock(m_mutex);
    if (std::this_thread::get_id() == m_forbidden) ++m_forbiddenCalls;
    if (m_holdCloses) {
        ++m_heldCloses;
        m_cond.notify_all();
        m_cond.wait(lock, [&] { return !m_holdCloses; });
        --m_heldCloses;
    }
    auto it = m_handles.find(handle);
    if (it == m_handles.end()) return;
    if (m_stalled > 0) ++m_closesBlockedByWrite;
    m_handles.erase(it);
    if (Cast(handle)->busy) {
        // Keep it alive so the offending Read or Write does not crash.
        ++m_closeWhileBusy;
        m_busyClosed.push_back(handle);
    } else {
        delete Cast(handle);
    }
    m_cond.notify_all();
}

}  // namespace hid::test
