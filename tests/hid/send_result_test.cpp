// What CHidDevice::Send says of a report: written, why not, or on its way,
// with its outcome posted once known, whatever ends it.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <vector>

#include "hid_device_fixture.h"

using namespace hid::test;
using hid::SendResult;

namespace {

struct AtOnceCase {
    const char* name;
    hid::ReportLengths lengths;  // {0, 0}: never opened
    std::function<void(FakePlatform&)> board;
    SendResult result;
};

class SendAtOnce : public HidDeviceTest, public testing::WithParamInterface<AtOnceCase> {};

TEST_P(SendAtOnce, SaysWhatBecameOfTheReport)
{
    const AtOnceCase& c = GetParam();
    if (c.lengths.input)
        OpenBoard(c.lengths);
    c.board(*fake);
    EXPECT_EQ(device.Send(u"line"), c.result);
    EXPECT_EQ(fake->Written(kPath).size(), c.result == SendResult::Written ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SendAtOnce,
    testing::Values(
        AtOnceCase{"Written", {65, 65}, [](FakePlatform&) {}, SendResult::Written},
        AtOnceCase{"NoBoard", {0, 0}, [](FakePlatform&) {}, SendResult::NoBoard},
        AtOnceCase{"NoOutputReport", {65, 0}, [](FakePlatform&) {}, SendResult::NoOutput},
        AtOnceCase{"Refused", {65, 65}, [](FakePlatform& p) { p.SetWriteFails(true); },
                   SendResult::Refused},
        AtOnceCase{"TimedOut", {65, 65},
                   [](FakePlatform& p) {
                       p.SetWriteFails(true);
                       p.SetWriteTimesOut(true);
                   },
                   SendResult::TimedOut},
        // Gone between the scan and the write.
        AtOnceCase{"Unplugged", {65, 65}, [](FakePlatform& p) { p.Unplug(kPath); },
                   SendResult::Refused}),
    [](const auto& info) { return info.param.name; });

// Completions queued as a window's Post queues them; the board is opened
// on the test's thread (no window here to keep free).
class SendLaterTest : public HidDeviceTest {
protected:
    SendLaterTest()
    {
        device.SetPoster([this](std::function<void()> fn) {
            std::lock_guard lock(m_mutex);
            m_posts.push_back(std::move(fn));
        });
    }

    int RunPosts()
    {
        std::vector<std::function<void()>> posts;
        {
            std::lock_guard lock(m_mutex);
            posts.swap(m_posts);
        }
        for (auto& fn : posts) fn();
        return static_cast<int>(posts.size());
    }

    std::mutex m_mutex;
    std::vector<std::function<void()>> m_posts;
};

// A board that stopped reading: the first report waits inside the write,
// four queue behind it, the sixth is refused at once. Each pending one is
// settled exactly once, through the poster: the stuck one when its write
// returns, the queued ones when Close drops them.
TEST_F(SendLaterTest, PendingReportsAreSettledOnceWhateverEndsThem)
{
    OpenBoard();
    device.SetSendWaitMs(0);
    fake->SetWriteStalls(true);
    std::vector<SendResult> late;
    const auto record = [&](SendResult r) { late.push_back(r); };

    EXPECT_EQ(device.Send(u"stuck", record), SendResult::Pending);
    ASSERT_TRUE(WaitUntil([&] { return fake->StalledWrites() == 1; }));
    for (std::size_t i = 0; i < CHidDevice::kMaxPendingOutput; ++i)
        EXPECT_EQ(device.Send(u"queued", record), SendResult::Pending) << i;
    EXPECT_EQ(device.Send(u"full", record), SendResult::QueueFull);
    EXPECT_EQ(RunPosts(), 0);

    device.Close();
    EXPECT_EQ(device.Send(u"closed", record), SendResult::NoBoard);
    RunPosts();
    EXPECT_EQ(late, std::vector<SendResult>(CHidDevice::kMaxPendingOutput, SendResult::NoBoard));

    // The abandoned writer's write returns: timed out.
    late.clear();
    fake->SetWriteFails(true);
    fake->SetWriteTimesOut(true);
    fake->SetWriteStalls(false);
    ASSERT_TRUE(WaitUntil([&] {
        RunPosts();
        return !late.empty();
    }));
    EXPECT_EQ(late, std::vector<SendResult>{SendResult::TimedOut});
    EXPECT_TRUE(WaitUntil([&] { return fake->OpenHandles() == 0; }));
}

TEST_F(SendLaterTest, APendingReportWrittenLateIsPostedAsWritten)
{
    OpenBoard();
    device.SetSendWaitMs(0);
    fake->SetWriteStalls(true);
    std::vector<SendResult> late;
    ASSERT_EQ(device.Send(u"slow", [&](SendResult r) { late.push_back(r); }),
              SendResult::Pending);
    ASSERT_TRUE(WaitUntil([&] { return fake->StalledWrites() == 1; }));
    fake->SetWriteStalls(false);
    ASSERT_TRUE(WaitUntil([&] {
        RunPosts();
        return !late.empty();
    }));
    EXPECT_EQ(late, std::vector<SendResult>{SendResult::Written});
    EXPECT_EQ(fake->Written(kPath).size(), 1u);
}

}  // namespace
