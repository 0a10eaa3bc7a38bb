#include "fake_platform.h"
#include "fake_platform_records.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <utility>

namespace hid::test {

FakePlatform::~FakePlatform()
{
    for (Handle* h : m_handles) delete Cast(h);
    for (Handle* h : m_busyClosed) delete Cast(h);
    for (Board* b : m_boards) delete b;
    for (Board* b : m_gone) delete b;
}

FakePlatform::Board* FakePlatform::FindBoard(const std::u16string& path)
{
    for (Board* b : m_boards)
        if (b->info.path == path) return b;
    return nullptr;
}

const FakePlatform::Board* FakePlatform::FindBoard(const std::u16string& path) const
{
    return const_cast<FakePlatform*>(this)->FindBoard(path);
}

void FakePlatform::Plug(FakeBoard board)
{
    std::lock_guard lock(m_mutex);
    m_boards.push_back(new Board{std::move(board), m_nextInstance++});
    if (!m_silent) m_changed = true;
    m_cond.notify_all();
}

void FakePlatform::Unplug(const std::u16string& path)
{
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_boards.begin(), m_boards.end(),
                           [&](Board* b) { return b->info.path == path; });
    if (it == m_boards.end()) return;
    (*it)->plugged = false;
    m_gone.push_back(*it);
    m_boards.erase(it);
    for (Handle* h : m_handles) {
        FakeHandle* fh = Cast(h);
        // What came before is still read first, as hidraw gives it.
        if (fh->path == path) fh->plugged = false;
    }
    if (!m_silent) m_changed = true;
    m_cond.notify_all();
}

void FakePlatform::BreakHandles(const std::u16string& path)
{
    std::lock_guard lock(m_mutex);
    for (Handle* h : m_handles) {
        FakeHandle* fh = Cast(h);
        if (fh->path == path) {
            fh->plugged = false;
            fh->broken = true;
        }
    }
    m_cond.notify_all();
}

int FakePlatform::PushInput(const std::u16string& path, const Report& report)
{
    std::lock_guard lock(m_mutex);
    int dropped = 0;
    for (Handle* h : m_handles) {
        FakeHandle* fh = Cast(h);
        if (fh->path != path || fh->access != Access::Read || !fh->plugged) continue;
        if (fh->input.size() >= kInputQueueLimit)
            ++dropped;
        else
            fh->input.push_back(report);
    }
    m_dropped[path] += dropped;
    m_cond.notify_all();
    return dropped;
}

int FakePlatform::DroppedInput(const std::u16string& path) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_dropped.find(path);
    return it == m_dropped.end() ? 0 : it->second;
}

std::size_t FakePlatform::QueuedInput(const std::u16string& path) const
{
    std::lock_guard lock(m_mutex);
    std::size_t n = 0;
    for (Handle* h : m_handles)
        if (Cast(h)->path == path) n += Cast(h)->input.size();
    return n;
}

bool FakePlatform::WaitInputDrained(const std::u16string& path, int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (Handle* h : m_handles)
            if (Cast(h)->path == path && !Cast(h)->input.empty()) return false;
        return true;
    });
}

std::vector<Report> FakePlatform::Written(const std::u16string& path) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_written.find(path);
    return it == m_written.end() ? std::vector<Report>{} : it->second;
}

bool FakePlatform::WaitWritten(const std::u16string& path, std::size_t count,
                               int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        auto it = m_written.find(path);
        return it != m_written.end() && it->second.size() >= count;
    });
}

void FakePlatform::SetWriteTimesOut(bool timeOut)
{
    std::lock_guard lock(m_mutex);
    m_writeTimesOut = timeOut;
}

bool FakePlatform::WriteTimedOut(Handle* handle)
{
    std::lock_guard lock(m_mutex);
    return Cast(handle)->writeTimedOut;
}

void FakePlatform::SetWriteFails(bool fail)
{
    std::lock_guard lock(m_mutex);
    m_writeFails = fail;
}

void FakePlatform::SetWriteStalls(bool stall)
{
    std::lock_guard lock(m_mutex);
    m_writeStalls = stall;
    m_cond.notify_all();
}

int FakePlatform::StalledWrites() const
{
    std::lock_guard lock(m_mutex);
    return m_stalled;
}

void FakePlatform::StopReading(const std::u16string& path)
{
    std::lock_guard lock(m_mutex);
    if (Board* b = FindBoard(path)) b->reads = false;
}

void FakePlatform::StartReading(const std::u16string& path)
{
    std::lock_guard lock(m_mutex);
    Board* b = FindBoard(path);
    if (!b) return;
    b->reads = true;
    auto& written = m_written[path];
    written.insert(written.end(), b->unread.begin(), b->unread.end());
    b->unread.clear();
    m_cond.notify_all();
}

void FakePlatform::SetWriteGiveUpMs(int ms)
{
    std::lock_guard lock(m_mutex);
    m_writeGiveUpMs = ms;
}

void FakePlatform::SetAccessFacts(AccessFacts facts)
{
    std::lock_guard lock(m_mutex);
    m_accessFacts = std::move(facts);
}

AccessFacts FakePlatform::GetAccessFacts() const
{
    std::lock_guard lock(m_mutex);
    return m_accessFacts;
}

void FakePlatform::SetOpenFails(OpenError error)
{
    std::lock_guard lock(m_mutex);
    m_openError = error;
    m_openFailsAnyAccess = true;
}

void FakePlatform::SetOpenFails(OpenError error, Access onlyFor)
{
    std::lock_guard lock(m_mutex);
    m_openError = error;
    m_openFailsAnyAccess = false;
    m_openFailsFor = onlyFor;
}

void FakePlatform::ClearOpenFails()
{
    std::lock_guard lock(m_mutex);
    m_openError = OpenError::None;
}

void FakePlatform::HoldOpens(bool hold)
{
    std::lock_guard lock(m_mutex);
    m_holdOpens = hold;
    m_holdAnyAccess = true;
    m_cond.notify_all();
}

void FakePlatform::HoldOpens(bool hold, Access onlyFor)
{
    std::lock_guard lock(m_mutex);
    m_holdOpens = hold;
    m_holdAnyAccess = false;
    m_holdFor = onlyFor;
    m_cond.notify_all();
}

int FakePlatform::HeldOpens() const
{
    std::lock_guard lock(m_mutex);
    return m_heldOpens;
}

void FakePlatform::HoldCloses(bool hold)
{
    std::lock_guard lock(m_mutex);
    m_holdCloses = hold;
    m_cond.notify_all();
}

int FakePlatform::HeldCloses() const
{
    std::lock_guard lock(m_mutex);
    return m_heldCloses;
}

void FakePlatform::IgnoreWakes(bool ignore)
{
    std::lock_guard lock(m_mutex);
    m_ignoreWakes = ignore;
}

void FakePlatform::ForbidBlockingCallsOn(std::thread::id thread)
{
    std::lock_guard lock(m_mutex);
    m_forbidden = thread;
}

int FakePlatform::BlockingCallsOnForbiddenThread() const
{
    std::lock_guard lock(m_mutex);
    return m_forbiddenCalls;
}

void FakePlatform::SetCanTellChanges(bool can)
{
    std::lock_guard lock(m_mutex);
    m_canTell = can;
}

void FakePlatform::SetChangesSilent(bool silent)
{
    std::lock_guard lock(m_mutex);
    m_silent = silent;
}

void FakePlatform::SetReadsFail(bool fail)
{
    std::lock_guard lock(m_mutex);
    m_readsFail = fail;
    m_cond.notify_all();
}

void FakePlatform::SetCanIdentify(bool can)
{
    std::lock_guard lock(m_mutex);
    m_canIdentify = can;
}

int FakePlatform::ReadOpens() const
{
    std::lock_guard lock(m_mutex);
    return m_readOpens;
}

int FakePlatform::EnumerateCount() const
{
    std::lock_guard lock(m_mutex);
    return m_enumerateCount;
}

int FakePlatform::ReadCalls() const
{
    std::lock_guard lock(m_mutex);
    return m_readCalls;
}

int FakePlatform::OpenHandles() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_handles.size());
}

int FakePlatform::CloseWhileBusy() const
{
    std::lock_guard lock(m_mutex);
    return m_closeWhileBusy;
}

int FakePlatform::ClosesBlockedByWrite() const
{
    std::lock_guard lock(m_mutex);
    return m_closesBlockedByWrite;
}

}  // namespace hid::test
