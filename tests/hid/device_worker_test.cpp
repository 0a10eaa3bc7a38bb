// The worker: the asynchronous calls, whose blocking part runs there and
// whose outcome comes back through the poster, and the hand-over to the
// poster itself.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device_worker.h"
#include "hid_device_fixture.h"

using namespace hid::test;

namespace {

// ---- asynchronous open, as the console uses it ----

TEST_F(AsyncTest, ScansAndOpensOnTheWorkerAndReportsBackThroughThePoster)
{
    PlugBoard();
    std::u16string path;
    bool scanned = false;
    EXPECT_EQ(device.PollDevices(0x04D8, 0x003F, path, [&] { scanned = true; }), NotYetKnown);
    EXPECT_EQ(device.PollDevices(0x04D8, 0x003F, path, nullptr), NotYetKnown);  // still scanning
    EXPECT_EQ(RunPosts(), 1);
    EXPECT_TRUE(scanned);
    ASSERT_EQ(device.PollDevices(0x04D8, 0x003F, path, nullptr), Present);
    EXPECT_EQ(path, kPath);

    int result = -1;
    ASSERT_TRUE(device.OpenAsync(path, &receiver, [&](int ok, hid::OpenError) { result = ok; }));
    EXPECT_TRUE(device.IsOpening());
    EXPECT_FALSE(device.OpenAsync(path, &receiver, nullptr));  // one at a time
    EXPECT_EQ(RunPosts(), 1);
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(device.IsOpening());
    EXPECT_TRUE(device.IsOpen());
    fake->PushInput(kPath, TextReport("hi"));
    ASSERT_TRUE(receiver.WaitFor(1));

    device.Close();
    ASSERT_TRUE(device.WaitIdle());
    EXPECT_EQ(fake->OpenHandles(), 0);
}

// Without a change monitor every look asks for a scan; the look that the
// scan's completion asks for must still get its answer.
TEST_F(AsyncTest, APlatformThatAlwaysReportsChangesStillGetsAnswers)
{
    fake->SetCanTellChanges(false);
    PlugBoard();
    std::u16string path;
    for (int tick = 0; tick < 3; ++tick) {
        Presence answer = NotYetKnown;
        ASSERT_EQ(device.PollDevices(0x04D8, 0x003F, path, [&] {
            answer = device.PollDevices(0x04D8, 0x003F, path, nullptr);
        }), NotYetKnown);
        EXPECT_EQ(RunPosts(), 1);
        ASSERT_EQ(answer, Present) << "tick " << tick;
        EXPECT_EQ(path, kPath);
    }
}

TEST_F(AsyncTest, CloseDuringAnOpenDropsTheConnection)
{
    PlugBoard();
    fake->HoldOpens(true);
    int result = -1;
    ASSERT_TRUE(device.OpenAsync(kPath, &receiver, [&](int ok, hid::OpenError) { result = ok; }));
    ASSERT_TRUE(WaitUntil([&] { return fake->HeldOpens() == 1; }));
    device.Close();  // at once, although the open waits in the kernel
    fake->HoldOpens(false);
    EXPECT_EQ(RunPosts(), 1);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(device.IsOpen());
    ASSERT_TRUE(device.WaitIdle());
    EXPECT_EQ(fake->OpenHandles(), 0);
}

TEST_F(AsyncTest, PermissionDeniedComesBackAsTheReason)
{
    PlugBoard();
    fake->SetOpenFails(hid::OpenError::PermissionDenied);
    hid::OpenError why = hid::OpenError::None;
    ASSERT_TRUE(device.OpenAsync(kPath, &receiver, [&](int, hid::OpenError e) { why = e; }));
    RunPosts();
    EXPECT_EQ(why, hid::OpenError::PermissionDenied);
    EXPECT_EQ(fake->OpenHandles(), 0);
}

// ---- the device behind the scanned path ----

// The open runs seconds after the scan when it waits in the kernel behind
// another device's stuck write; the board may have gone by then and
// another device taken its path. What the handles are on decides.
struct SwapCase {
    const char* name;
    bool canIdentify;
    // Held: both opens, or the read open only (the write is then on the
    // board that was there first).
    bool holdReadOnly;
    std::u16string idAtOpen;  // what is plugged at the path meanwhile
    int result;
};

class PathTakenMeanwhile : public AsyncTest, public testing::WithParamInterface<SwapCase> {};

TEST_P(PathTakenMeanwhile, OnlyTheScannedDeviceIsConnected)
{
    const SwapCase& c = GetParam();
    fake->SetCanIdentify(c.canIdentify);
    PlugBoard();
    std::u16string path;
    ASSERT_EQ(device.PollDevices(0x04D8, 0x003F, path, nullptr), NotYetKnown);
    RunPosts();
    ASSERT_EQ(device.PollDevices(0x04D8, 0x003F, path, nullptr), Present);

    if (c.holdReadOnly)
        fake->HoldOpens(true, hid::Access::Read);
    else
        fake->HoldOpens(true);
    int result = -1;
    hid::OpenError why = hid::OpenError::None;
    ASSERT_TRUE(device.OpenAsync(path, &receiver, [&](int ok, hid::OpenError e) {
        result = ok;
        why = e;
    }));
    ASSERT_TRUE(WaitUntil([&] { return fake->HeldOpens() == 1; }));
    // A watch that never speaks: the rescan cannot come from a change.
    fake->SetChangesSilent(true);
    fake->Unplug(kPath);
    fake->Plug(FakeBoard{kPath, c.idAtOpen});
    fake->HoldOpens(false);
    EXPECT_EQ(RunPosts(), 1);

    EXPECT_EQ(result, c.result);
    EXPECT_EQ(device.IsOpen(), c.result == 1);
    ASSERT_TRUE(device.WaitIdle());
    EXPECT_EQ(fake->OpenHandles(), c.result == 1 ? 2 : 0);
    if (c.result == 1)
        return;
    EXPECT_EQ(why, hid::OpenError::NotFound);
    EXPECT_EQ(device.SendText(u"secret"), 0);
    EXPECT_TRUE(fake->Written(kPath).empty());
    // The list that named the path is stale: the next look scans.
    const int scans = fake->EnumerateCount();
    EXPECT_EQ(device.PollDevices(0x04D8, 0x003F, path, nullptr), NotYetKnown);
    RunPosts();
    EXPECT_EQ(fake->EnumerateCount(), scans + 1);
    EXPECT_EQ(device.PollDevices(0x04D8, 0x003F, path, nullptr),
              c.idAtOpen == kBoardId ? Present : Absent);
}

const std::u16string kOtherId = u"HID\\VID_1209&PID_0001&REV_0100";

INSTANTIATE_TEST_SUITE_P(
    Table, PathTakenMeanwhile,
    testing::Values(
        SwapCase{"AnotherDevice", true, false, kOtherId, 0},
        // A board of ours plugged in again is the board.
        SwapCase{"TheBoardAgain", true, false, kBoardId, 1},
        // Write handle on the board that left, read handle on the new one.
        SwapCase{"HandlesOnTwoDevices", true, true, kBoardId, 0},
        // Where paths name one device for good, nothing is refused.
        SwapCase{"PlatformCannotTell", false, false, kOtherId, 1}),
    [](const auto& info) { return info.param.name; });

// ---- the hand-over to the poster ----

std::shared_ptr<hid::CDeviceWorker> MakeWorker()
{
    return std::make_shared<hid::CDeviceWorker>(std::make_shared<FakePlatform>());
}

// The poster is called without the worker's lock held: a poster that posts
// again from inside its call does not deadlock.
TEST(DeviceWorker, APosterMayPostAgainFromInsideItsCall)
{
    auto worker = MakeWorker();
    auto ran = std::make_shared<std::vector<int>>();
    worker->SetPoster([](std::function<void()> fn) { fn(); });
    EXPECT_TRUE(FinishesWithin([worker, ran] {
        worker->Post([worker, ran] {
            ran->push_back(1);
            worker->Post([ran] { ran->push_back(2); });
        });
    }));
    EXPECT_EQ(*ran, (std::vector<int>{1, 2}));
    worker->Stop();
}

// A window gone after Stop is never posted to: Stop lets a call under way
// finish first, and a later one is dropped with what it carries.
TEST(DeviceWorker, StopWaitsForAPostUnderWayAndDropsLaterOnes)
{
    auto worker = MakeWorker();
    std::mutex mutex;
    std::condition_variable cond;
    bool inside = false, release = false;
    int calls = 0;
    worker->SetPoster([&](std::function<void()>) {
        std::unique_lock lock(mutex);
        ++calls;
        inside = true;
        cond.notify_all();
        cond.wait(lock, [&] { return release; });
    });
    std::thread poster([&] { worker->Post([] {}); });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cond.wait_for(lock, std::chrono::seconds(60), [&] { return inside; }));
    }
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        worker->Stop();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(stopped) << "Stop returned while the poster was being called";
    {
        std::lock_guard lock(mutex);
        release = true;
        cond.notify_all();
    }
    stopper.join();
    poster.join();

    auto cargo = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = cargo;
    worker->Post([cargo = std::move(cargo)] {});
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(watch.expired()) << "a dropped call keeps what it carries";
}

// A job stuck in the kernel (a close behind another device's stuck write)
// does not hold up Stop, nor the destruction of its device: it finishes
// on its own, and the worker goes when it does.
TEST(DeviceWorker, AStuckJobIsLeftToFinishByItself)
{
    auto worker = MakeWorker();
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto finished = std::make_shared<std::atomic<bool>>(false);
    worker->Submit([release, finished] {
        while (!*release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        *finished = true;
    });
    const auto start = std::chrono::steady_clock::now();
    worker->Stop();
    std::printf("Stop with a stuck job: %lld ms (waits at most %lld ms)\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - start)
                                           .count()),
                static_cast<long long>(hid::CDeviceWorker::kExitWait.count()));
    const std::weak_ptr<hid::CDeviceWorker> watch = worker;
    worker.reset();
    EXPECT_FALSE(*finished);
    EXPECT_FALSE(watch.expired()) << "the thread keeps its worker while it runs";
    *release = true;
    EXPECT_TRUE(WaitUntil([&] { return watch.expired(); }));
    EXPECT_TRUE(*finished);
}

}  // namespace
