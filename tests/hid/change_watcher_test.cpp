// The change watcher, as CHidDevice::WatchChanges offers it: one answer
// for each request, from the platform's change events or from a reader
// that ended by itself.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hid_device_fixture.h"

using namespace hid::test;

namespace {

class WatchTest : public AsyncTest {
protected:
    // A first look, so that the platform's first "changed" is taken: from
    // here on only a real change wakes the watcher.
    void LookOnce()
    {
        std::u16string path;
        ASSERT_EQ(device.PollDevices(0x04D8, 0x003F, path, nullptr), NotYetKnown);
        RunPosts();
        device.PollDevices(0x04D8, 0x003F, path, nullptr);
    }

    std::function<void()> Count(int& n)
    {
        return [&n] { ++n; };
    }

    // Runs what comes back until `n` answers have come.
    bool AnswersReach(const int& n, int count)
    {
        return WaitUntil([&] {
            RunPosts();
            return n >= count;
        });
    }
};

TEST_F(WatchTest, AChangeAnswersOneRequestOnce)
{
    LookOnce();
    int answers = 0;
    ASSERT_TRUE(device.WatchChanges(Count(answers)));
    ASSERT_TRUE(fake->WaitForChangeWaiter());
    PlugBoard();
    ASSERT_TRUE(AnswersReach(answers, 1));
    // Not asked again: a second change, unread, posts nothing.
    fake->Plug(FakeBoard{u"/dev/hidraw5", kBoardId});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    RunPosts();
    EXPECT_EQ(answers, 1);

    // Asked again with the change still unread: answered at once.
    ASSERT_TRUE(device.WatchChanges(Count(answers)));
    EXPECT_TRUE(AnswersReach(answers, 2));
}

TEST_F(WatchTest, ALaterRequestReplacesOneNotYetAnswered)
{
    LookOnce();
    int first = 0, second = 0;
    ASSERT_TRUE(device.WatchChanges(Count(first)));
    ASSERT_TRUE(device.WatchChanges(Count(second)));
    ASSERT_TRUE(fake->WaitForChangeWaiter());
    PlugBoard();
    ASSERT_TRUE(AnswersReach(second, 1));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

// A connection lost is news too, though no device came or went (a read
// error; or a replug the platform has not told of yet).
TEST_F(WatchTest, AReaderThatEndsAnswersTheRequest)
{
    PlugBoard();
    ASSERT_TRUE(device.OpenAsync(kPath, &receiver, nullptr));
    RunPosts();
    ASSERT_TRUE(device.IsReading());
    LookOnce();
    int answers = 0;
    ASSERT_TRUE(device.WatchChanges(Count(answers)));
    ASSERT_TRUE(fake->WaitForChangeWaiter());
    fake->BreakHandles(kPath);
    EXPECT_TRUE(AnswersReach(answers, 1));
    EXPECT_FALSE(device.IsReading());
}

TEST_F(WatchTest, APlatformThatCannotTellRefuses)
{
    fake->SetCanTellChanges(false);
    int answers = 0;
    EXPECT_FALSE(device.WatchChanges(Count(answers)));
}

// The destructor wakes a watcher asleep in the platform's wait.
TEST(ChangeWatcher, ADeviceGoesWhileItsWatcherSleeps)
{
    auto fake = std::make_shared<FakePlatform>();
    auto device = std::make_shared<CHidDevice>(fake);
    device->SetPoster([](std::function<void()>) {});
    std::u16string path;
    device->PollDevices(0x04D8, 0x003F, path, nullptr);
    ASSERT_TRUE(device->WaitIdle());
    ASSERT_TRUE(device->WatchChanges([] {}));
    ASSERT_TRUE(fake->WaitForChangeWaiter());
    EXPECT_TRUE(FinishesWithin([device = std::move(device)]() mutable { device.reset(); }));
}

}  // namespace
