// The platform contract (platform_contract.h), continued: a board that
// goes mid-read, a read interrupted, a board that never reads.
#include "platform_contract_fixture.h"

namespace platform_contract {
namespace {

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
    if (tells) {
        EXPECT_NE(after.instance, before.instance) << "plugged in again: another device";
    }
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
