// The user-interface thread's waits on the device layer have a bound,
// whatever the other side does: a read that its wake never reaches, a wait
// for changes that ignores StopWaiting, a close that never returns. Each
// test prints the time it measured; its own bound only catches a hang.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "hid_device_fixture.h"
#include "service_thread.h"

namespace {

using namespace hid::test;

double MsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

// Close leaves a reader that does not wake within its bound; that reader
// hands nothing more to the owner, and closes its handle itself when its
// read returns.
TEST(BoundedStop, AReaderThatIgnoresItsWakeIsLeftWithItsHandle)
{
    auto fake = std::make_shared<FakePlatform>();
    RecordingReceiver receiver;
    CHidDevice device(fake);
    fake->Plug(FakeBoard{kPath, kBoardId});
    ASSERT_EQ(device.Open(kPath, &receiver), 1);
    fake->PushInput(kPath, TextReport("before"));
    ASSERT_TRUE(receiver.WaitFor(1));

    fake->IgnoreWakes(true);
    // The reader back inside its read: a slow machine may not have got it
    // there yet, and a reader between reads ends by itself.
    ASSERT_TRUE(WaitUntil([&] { return fake->ReadCalls() >= 2; }, 20000));
    const auto t = std::chrono::steady_clock::now();
    ASSERT_TRUE(FinishesWithin([&] { device.Close(); }, 20000));
    std::printf("Close with a reader that ignores its wake: %.0f ms (waits at most %d ms)\n",
                MsSince(t), CHidDevice::kReaderStopWaitMs);
    EXPECT_FALSE(device.IsOpen());
    ASSERT_TRUE(device.WaitIdle());
    EXPECT_EQ(fake->OpenHandles(), 1);  // the reader's, still inside its read

    fake->PushInput(kPath, TextReport("after"));  // the read returns at last
    EXPECT_TRUE(WaitUntil([&] { return fake->OpenHandles() == 0; }, 20000));
    EXPECT_EQ(receiver.Texts(), std::vector<std::u16string>{u"before"});
    EXPECT_EQ(fake->CloseWhileBusy(), 0);
}

// The device goes (the program ends) while everything behind it hangs: the
// reader's read and the watcher's wait ignore their wakes, and the close
// of the write handle never returns. The destructor still returns within
// its bounds; what it left behind finishes once the other side lets go.
TEST(BoundedStop, ADeviceGoesWhileEverythingBehindItHangs)
{
    auto fake = std::make_shared<FakePlatform>();
    auto receiver = std::make_shared<RecordingReceiver>();
    auto device = std::make_unique<CHidDevice>(fake);
    device->SetPoster([](std::function<void()> fn) { fn(); });
    fake->Plug(FakeBoard{kPath, kBoardId});
    ASSERT_EQ(device->Open(kPath, receiver.get()), 1);
    fake->TakeChanged();  // the plug is old news: the watcher sleeps
    ASSERT_TRUE(device->WatchChanges([] {}));
    ASSERT_TRUE(fake->WaitForChangeWaiter());

    fake->IgnoreWakes(true);
    fake->HoldCloses(true);
    const auto t = std::chrono::steady_clock::now();
    ASSERT_TRUE(FinishesWithin([&] { device.reset(); }, 20000));
    std::printf("device destroyed behind a stuck read, wait and close: %.0f ms "
                "(reader %d ms, writer, watcher and worker %lld ms each at most)\n",
                MsSince(t), CHidDevice::kReaderStopWaitMs,
                static_cast<long long>(hid::CServiceThread::kStopWait.count()));
    EXPECT_TRUE(WaitUntil([&] { return fake->HeldCloses() == 1; }, 20000));

    fake->IgnoreWakes(false);
    fake->HoldCloses(false);
    fake->PushInput(kPath, TextReport("late"));                    // ends the read
    fake->Plug(FakeBoard{u"/dev/hidraw9", kBoardId});             // ends the wait
    EXPECT_TRUE(WaitUntil([&] { return fake->OpenHandles() == 0; }, 20000));
    EXPECT_TRUE(receiver->Texts().empty());
    EXPECT_EQ(fake->CloseWhileBusy(), 0);
}

}  // namespace
