#include "fake_platform.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <utility>

namespace hid::test {

struct FakePlatform::Board {
    FakeBoard info;
    int instance = 0;
    bool plugged = true;
    bool reads = true;
    std::vector<Report> unread;  // taken while it did not read
};

namespace {

// hid::Handle stays incomplete: each platform casts its own record, so no
// two definitions of hid::Handle ever meet in one program.
struct FakeHandle {
    std::u16string path;
    Access access;
    const void* board = nullptr;  // the FakePlatform::Board it was opened on
    bool plugged = true;
    int busy = 0;  // threads inside Read or Write
    bool interrupted = false;
    bool writeTimedOut = false;
    bool broken = false;  // BreakHandles: nothing more is read
    std::deque<Report> input;
};

FakeHandle* Cast(Handle* h) { return reinterpret_cast<FakeHandle*>(h); }

}  // namespace

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
