// The platform contract (platform_contract.h): what hid_platform.h
// promises, case by case, on whichever platform the driver brings.
// Bounds only catch a hang; the times are printed, never judged.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform_contract.h"

namespace platform_contract {
namespace {

using Clock = std::chrono::steady_clock;

// A hang, not a slow machine: every wait of the suite ends long before.
constexpr int kHangMs = 90000;

const char* Name(hid::OpenError e)
{
    switch (e) {
    case hid::OpenError::None: return "None";
    case hid::OpenError::NotFound: return "NotFound";
    case hid::OpenError::PermissionDenied: return "PermissionDenied";
    case hid::OpenError::HeldByOther: return "HeldByOther";
    case hid::OpenError::Other: return "Other";
    }
    return "?";
}

std::string Narrow(const std::u16string& s)
{
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::u16string Upper(std::u16string s)
{
    for (char16_t& c : s)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return s;
}

Bytes Text(const std::string& text, std::size_t length, std::uint8_t id = 0, bool withId = true)
{
    Bytes r;
    if (withId) r.push_back(id);
    r.insert(r.end(), text.begin(), text.end());
    r.resize(length + (withId ? 1 : 0), 0);
    return r;
}

long long Ms(Clock::duration d)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// Runs `call` on a thread of its own and waits for it at most kHangMs:
// nothing when it hangs (the thread is then left behind, the case failed).
template <typename F>
std::optional<int> Bounded(const char* what, F call, long long* tookMs = nullptr)
{
    auto task = std::make_shared<std::packaged_task<int()>>(std::move(call));
    std::future<int> done = task->get_future();
    const auto start = Clock::now();
    std::thread thread([task] { (*task)(); });
    if (done.wait_for(std::chrono::milliseconds(kHangMs)) != std::future_status::ready) {
        ADD_FAILURE() << what << " did not return within " << kHangMs << " ms";
        thread.detach();
        return std::nullopt;
    }
    thread.join();
    const long long took = Ms(Clock::now() - start);
    if (tookMs) *tookMs = took;
    std::printf("%s: %lld ms\n", what, took);
    return done.get();
}

bool WaitUntil(const std::function<bool()>& condition)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(kHangMs);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class PlatformContract : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (hid::Handle* h : m_handles) p.Close(h);
    }

    // Plugs a board of `shape`; the case stops when that fails.
    std::u16string Plug(const BoardShape& shape = {})
    {
        const std::u16string path = d.Plug(shape);
        EXPECT_FALSE(path.empty()) << "the board could not be plugged in";
        return path;
    }

    hid::Handle* Open(const std::u16string& path, hid::Access access)
    {
        hid::OpenError why = hid::OpenError::Other;
        hid::Handle* h = p.Open(path, access, &why);
        EXPECT_NE(h, nullptr) << "open for " << (access == hid::Access::Read ? "reading" : "writing")
                              << " refused: " << Name(why);
        if (h) {
            EXPECT_EQ(why, hid::OpenError::None);
            m_handles.push_back(h);
        }
        return h;
    }

    void Close(hid::Handle*& h)
    {
        m_handles.erase(std::remove(m_handles.begin(), m_handles.end(), h), m_handles.end());
        p.Close(h);
        h = nullptr;
    }

    // One Read with a room of `size` bytes, waiting `timeoutMs` at most.
    int Read(hid::Handle* h, Bytes& into, std::size_t size, int timeoutMs = 60000)
    {
        into.assign(size, 0xEE);
        const int n = p.Read(h, into.data(), size, timeoutMs);
        into.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return n;
    }

    CBoardDriver& d = Driver();
    hid::Platform& p = d.Platform();
    std::vector<hid::Handle*> m_handles;
};

// --- open --------------------------------------------------------------------

// The board is listed once, under a hardware ID formed as Windows forms it;
// both opens succeed and learn the lengths; the handles say what they are
// on, where the platform can tell.
TEST_F(PlatformContract, ListsTheBoardAndOpensItBothWays)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    const auto list = p.Enumerate();
    const auto listed = std::count_if(list.begin(), list.end(),
                                      [&](const hid::DeviceInfo& i) { return i.path == path; });
    ASSERT_EQ(listed, 1);
    const hid::DeviceInfo info =
        *std::find_if(list.begin(), list.end(), [&](const hid::DeviceInfo& i) { return i.path == path; });
    const std::u16string firstId = info.hardwareId.substr(0, info.hardwareId.find(u'\0'));
    EXPECT_EQ(Upper(firstId).rfind(u"HID\\VID_04D8&PID_003F", 0), 0u) << Narrow(firstId);

    hid::Handle* r = Open(path, hid::Access::Read);
    hid::Handle* w = Open(path, hid::Access::Write);
    ASSERT_TRUE(r && w);
    for (hid::Handle* h : {r, w}) {
        hid::ReportLengths lengths;
        ASSERT_TRUE(p.GetReportLengths(h, lengths));
        EXPECT_EQ(lengths.input, 65);
        EXPECT_EQ(lengths.output, 65);
        EXPECT_EQ(lengths.outputReportId, 0);
    }

    hid::DeviceIdentity ofRead, ofWrite;
    const bool tells = p.Identify(r, ofRead);
    EXPECT_EQ(p.Identify(w, ofWrite), tells);
    if (!tells) {
        std::printf("Identify: this platform cannot tell (its paths name one device for good)\n");
        return;
    }
    EXPECT_EQ(Upper(ofRead.hardwareId), Upper(firstId));
    EXPECT_FALSE(ofRead.instance.empty());
    EXPECT_EQ(ofWrite.instance, ofRead.instance) << "two handles on one device";
}

// --- read ----------------------------------------------------------------------

// Every report in Windows' form: byte 0 the ID (0 without IDs), the data
// whole; a room too small gets the report's head and loses nothing else;
// with nothing sent, a timeout answers 0.
TEST_F(PlatformContract, ReadsEachReportWholeAfterItsId)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    hid::Handle* r = Open(path, hid::Access::Read);  // before the board sends
    ASSERT_TRUE(r);

    const std::string full(64, 'A');  // no terminator: the data is the report
    ASSERT_TRUE(d.Send(Bytes{'H', 'e', 'l', 'l', 'o'}));
    ASSERT_TRUE(d.Send(Bytes(full.begin(), full.end())));
    Bytes got;
    EXPECT_EQ(Read(r, got, 80), 65);
    EXPECT_EQ(got, Text("Hello", 64));
    EXPECT_EQ(Read(r, got, 65), 65);
    EXPECT_EQ(got, Text(full, 64));

    ASSERT_TRUE(d.Send(Bytes{'C', 'u', 't', ' ', 'm', 'e'}));
    ASSERT_TRUE(d.Send(Bytes{'n', 'e', 'x', 't'}));
    EXPECT_EQ(Read(r, got, 4), 4) << "a longer report is cut to the room";
    EXPECT_EQ(got, (Bytes{0, 'C', 'u', 't'}));
    EXPECT_EQ(Read(r, got, 65), 65);
    EXPECT_EQ(got, Text("next", 64)) << "the cut report's rest is not a report of its own";

    const auto start = Clock::now();
    EXPECT_EQ(Read(r, got, 65, 300), 0);
    std::printf("Read with nothing sent, 300 ms timeout: returned 0 after %lld ms\n",
                Ms(Clock::now() - start));
}

// --- write ---------------------------------------------------------------------

TEST_F(PlatformContract, WritesEachReportOnceAndInOrder)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(d.StartReading());
    hid::Handle* w = Open(path, hid::Access::Write);
    ASSERT_TRUE(w);
    const Bytes first = Text("abc", 64);
    const Bytes second = Text(std::string(64, 'z'), 64);
    EXPECT_EQ(Bounded("Write to a reading board", [&] { return p.Write(w, first.data(), first.size()); }),
              65);
    EXPECT_EQ(p.Write(w, second.data(), second.size()), 65);
    // Without report IDs the board reads the data alone.
    EXPECT_EQ(d.Received(2), (std::vector<Bytes>{Text("abc", 64, 0, false),
                                                 Text(std::string(64, 'z'), 64, 0, false)}));
}

// --- report IDs ---------------------------------------------------------------

// A board that numbers its reports, input 1 and output 2: the lengths count
// the ID, the output's ID is known, and each report goes both ways with its
// ID in byte 0.
TEST_F(PlatformContract, NumberedReportsGoBothWaysWithTheirIds)
{
    const std::u16string path = Plug({63, 63, 1, 2});
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(d.StartReading());
    hid::Handle* r = Open(path, hid::Access::Read);
    hid::Handle* w = Open(path, hid::Access::Write);
    ASSERT_TRUE(r && w);

    hid::ReportLengths lengths;
    ASSERT_TRUE(p.GetReportLengths(w, lengths));
    EXPECT_EQ(lengths.input, 64);
    EXPECT_EQ(lengths.output, 64);
    EXPECT_EQ(lengths.outputReportId, 2);

    ASSERT_TRUE(d.Send(Bytes{'h', 'i'}));
    Bytes got;
    EXPECT_EQ(Read(r, got, 64), 64);
    EXPECT_EQ(got, Text("hi", 63, 1));

    const Bytes out = Text("ok", 63, 2);
    EXPECT_EQ(p.Write(w, out.data(), out.size()), 64);
    EXPECT_EQ(d.Received(1), std::vector<Bytes>{out});
}

// --- a refused open -------------------------------------------------------------

// Refused for want of permission: PermissionDenied, both ways; the
// platform's facts name a way out; once allowed, the board opens.
TEST_F(PlatformContract, ARefusedOpenSaysPermissionAndTheFactsNameAWayOut)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    hid::OpenError ofRead = hid::OpenError::None, ofWrite = hid::OpenError::None;
    hid::Handle* r = nullptr;
    hid::Handle* w = nullptr;
    const std::string cannot = d.WhileRefused([&] {
        r = p.Open(path, hid::Access::Read, &ofRead);
        w = p.Open(path, hid::Access::Write, &ofWrite);
    });
    if (!cannot.empty()) GTEST_SKIP() << cannot;
    p.Close(r);
    p.Close(w);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(w, nullptr);
    EXPECT_STREQ(Name(ofRead), "PermissionDenied");
    EXPECT_STREQ(Name(ofWrite), "PermissionDenied");

    const hid::AccessFacts facts = p.GetAccessFacts();
    EXPECT_TRUE(!facts.ruleFile.empty() || facts.refusedWhileHeld)
        << "a refusal the console could explain with nothing";

    EXPECT_TRUE(Open(path, hid::Access::Read));
    EXPECT_TRUE(Open(path, hid::Access::Write));
}

// --- busy -----------------------------------------------------------------------

// Another program holds the board, sharing it with no one. A system that
// shares boards anyway opens it; one that does not refuses as HeldByOther,
// or as PermissionDenied where its facts say that it refuses so. Either
// way the board opens once the other lets go.
TEST_F(PlatformContract, ABoardHeldByAnotherOpensOrIsNamedHeld)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    const std::string cannot = d.Hold();
    if (!cannot.empty()) GTEST_SKIP() << cannot;
    const hid::AccessFacts facts = p.GetAccessFacts();
    for (hid::Access access : {hid::Access::Read, hid::Access::Write}) {
        hid::OpenError why = hid::OpenError::None;
        hid::Handle* h = p.Open(path, access, &why);
        std::printf("open for %s while held: %s\n",
                    access == hid::Access::Read ? "reading" : "writing",
                    h ? "opened (the system shares the board)" : Name(why));
        p.Close(h);
        if (h) continue;
        EXPECT_TRUE(why == hid::OpenError::HeldByOther ||
                    (why == hid::OpenError::PermissionDenied && facts.refusedWhileHeld))
            << Name(why);
    }
    d.Release();
    EXPECT_TRUE(Open(path, hid::Access::Read));
    EXPECT_TRUE(Open(path, hid::Access::Write));
}

// --- unplug mid-read --------------------------------------------------------------

// A read waiting without limit ends with -1 when the board goes. A report
// that came before and was not read yet may be read first, or lost with
// the board; nothing else is read. A write then fails, the path is no
// longer listed and no longer opens, the platform tells of the change, and
// the board plugged in again is another device.
TEST_F(PlatformContract, UnplugEndsAReadInProgress)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    // Each read handle is given every report: `r` reads while the board
    // goes, `idle` leaves its copy unread until after.
    hid::Handle* r = Open(path, hid::Access::Read);
    hid::Handle* idle = Open(path, hid::Access::Read);
    hid::Handle* w = Open(path, hid::Access::Write);
    ASSERT_TRUE(r && idle && w);
    hid::DeviceIdentity before;
    const bool tells = p.Identify(r, before);
    ASSERT_TRUE(d.Send(Bytes{'b', 'e', 'f', 'o', 'r', 'e'}));

    std::vector<int> results;
    std::vector<Bytes> reports;
    std::promise<void> ended;
    std::thread reader([&] {
        for (;;) {
            Bytes got(65);
            const int n = p.Read(r, got.data(), got.size(), -1);
            results.push_back(n);
            if (n <= 0) break;
            got.resize(static_cast<std::size_t>(n));
            reports.push_back(got);
        }
        ended.set_value();
    });
    // Most likely asleep in its read by now; the contract holds either way.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto unplugged = Clock::now();
    ASSERT_TRUE(d.Unplug());
    if (ended.get_future().wait_for(std::chrono::milliseconds(kHangMs)) != std::future_status::ready) {
        p.InterruptRead(r);
        reader.join();
        FAIL() << "the read did not end when the board went";
    }
    reader.join();
    std::printf("read ended %lld ms after the unplug began\n", Ms(Clock::now() - unplugged));
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results.back(), -1);
    EXPECT_LE(reports.size(), 1u);
    for (const Bytes& got : reports) EXPECT_EQ(got, Text("before", 64));

    Bytes got;
    const int first = Read(idle, got, 65, 5000);
    if (first > 0) {
        EXPECT_EQ(got, Text("before", 64));
        EXPECT_EQ(Read(idle, got, 65, 5000), -1);
    } else {
        EXPECT_EQ(first, -1);
    }
    std::printf("the report left unread before the unplug was %s\n",
                first > 0 ? "read after it" : "lost with the board");

    const Bytes out = Text("lost", 64);
    EXPECT_EQ(Bounded("Write after the unplug", [&] { return p.Write(w, out.data(), out.size()); }),
              -1);
    Bounded("Close of the handles after the unplug", [&] {
        Close(r);
        Close(idle);
        Close(w);
        return 0;
    });

    EXPECT_TRUE(WaitUntil([&] {
        const auto list = p.Enumerate();
        return std::none_of(list.begin(), list.end(),
                            [&](const hid::DeviceInfo& i) { return i.path == path; });
    })) << "still listed";
    hid::OpenError why = hid::OpenError::None;
    hid::Handle* again = p.Open(path, hid::Access::Read, &why);
    p.Close(again);
    EXPECT_EQ(again, nullptr);
    EXPECT_STREQ(Name(why), "NotFound");
    EXPECT_TRUE(WaitUntil([&] { return p.TakeChanged(); })) << "the change was never told";

    const std::u16string back = Plug();
    ASSERT_FALSE(back.empty());
    hid::Handle* r2 = Open(back, hid::Access::Read);
    ASSERT_TRUE(r2);
    hid::DeviceIdentity after;
    ASSERT_EQ(p.Identify(r2, after), tells);
    if (tells) EXPECT_NE(after.instance, before.instance) << "plugged in again: another device";
}

// --- InterruptRead ---------------------------------------------------------------

// It ends a read in progress with 0, or the next read if none is in
// progress; once only: a report sent later is read as ever.
TEST_F(PlatformContract, InterruptReadEndsOneReadWithZero)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    hid::Handle* r = Open(path, hid::Access::Read);
    ASSERT_TRUE(r);
    Bytes room(65);

    auto waiting = std::async(std::launch::async, [&] {
        return p.Read(r, room.data(), room.size(), -1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = Clock::now();
    p.InterruptRead(r);
    ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(kHangMs)), std::future_status::ready)
        << "the read in progress was not interrupted";
    EXPECT_EQ(waiting.get(), 0);
    std::printf("interrupted read returned after %lld ms\n", Ms(Clock::now() - start));

    p.InterruptRead(r);
    EXPECT_EQ(Bounded("Read after an InterruptRead with none in progress",
                      [&] { return p.Read(r, room.data(), room.size(), -1); }),
              0);

    ASSERT_TRUE(d.Send(Bytes{'a', 'f', 't', 'e', 'r'}));
    Bytes got;
    EXPECT_EQ(Read(r, got, 65), 65);
    EXPECT_EQ(got, Text("after", 64));
}

// --- a board that never reads -------------------------------------------------------

// Its writes end, each within the platform's give-up time: the board takes
// a few, then they fail. Every write that claimed success arrives once the
// board reads again, and the board is usable then.
TEST_F(PlatformContract, WritesToABoardThatNeverReadsEndAndFailOpenly)
{
    const std::u16string path = Plug();
    ASSERT_FALSE(path.empty());
    hid::Handle* w = Open(path, hid::Access::Write);
    ASSERT_TRUE(w);

    std::vector<Bytes> claimed, failed;
    for (int i = 1; i <= 8 && failed.size() < 2; ++i) {
        const Bytes out = Text("s" + std::to_string(i), 64);
        const std::string what = "Write " + std::to_string(i) + " to a board that never reads";
        const auto n = Bounded(what.c_str(), [&] { return p.Write(w, out.data(), out.size()); });
        ASSERT_TRUE(n.has_value());
        EXPECT_TRUE(*n == 65 || *n == -1) << *n;
        (*n == 65 ? claimed : failed).push_back(Text("s" + std::to_string(i), 64, 0, false));
    }
    std::printf("%zu writes taken, %zu failed\n", claimed.size(), failed.size());
    EXPECT_FALSE(failed.empty()) << "a board that never reads took every report";
    Bounded("Close after the failed writes", [&] {
        Close(w);
        return 0;
    });

    ASSERT_TRUE(d.StartReading());
    const std::vector<Bytes> arrived = d.Received(claimed.size());
    for (const Bytes& c : claimed)
        EXPECT_NE(std::find(arrived.begin(), arrived.end(), c), arrived.end())
            << "a write that claimed success never arrived";
    std::size_t late = 0;
    for (const Bytes& f : failed) late += std::count(arrived.begin(), arrived.end(), f);
    std::printf("of the failed writes, %zu arrived after all\n", late);

    w = Open(path, hid::Access::Write);
    ASSERT_TRUE(w);
    const Bytes out = Text("usable", 64);
    EXPECT_EQ(p.Write(w, out.data(), out.size()), 65);
    const std::vector<Bytes> all = d.Received(arrived.size() + 1);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), Text("usable", 64, 0, false));
}

}  // namespace
}  // namespace platform_contract
