// The fixture of CHidDevice's tests: a device on the fake platform, with
// its charset and send wait fixed, and (AsyncTest) a poster that queues
// completions for the test's thread as a window's Post queues them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_platform.h"
#include "hid_device.h"
#include "recording_receiver.h"

namespace hid::test {

inline const std::u16string kPath = u"/dev/hidraw0";
inline const std::u16string kBoardId = u"HID\\VID_04D8&PID_003F&REV_0002";

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 60000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs `action` on a thread of its own and waits for it up to the bound,
// which only catches a hang (a deadlock): such a thread is left behind,
// stuck, and the test fails.
inline bool FinishesWithin(std::function<void()> action, int timeoutMs = 60000)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([action = std::move(action), done] {
        action();
        *done = true;
    });
    if (!WaitUntil([&] { return done->load(); }, timeoutMs)) {
        thread.detach();
        return false;
    }
    thread.join();
    return true;
}

// Report ID 0 and the text, without a terminator.
inline Report TextReport(const std::string& text)
{
    Report r{0};
    for (const char c : text) r.push_back(static_cast<std::uint8_t>(c));
    return r;
}

class HidDeviceTest : public testing::Test {
protected:
    void PlugBoard(hid::ReportLengths lengths = {65, 65}, bool readable = true)
    {
        fake->Plug(FakeBoard{kPath, kBoardId, lengths, readable});
    }
    void OpenBoard(hid::ReportLengths lengths = {65, 65})
    {
        PlugBoard(lengths);
        ASSERT_EQ(device.Open(kPath, &receiver), 1);
    }
    void TearDown() override
    {
        fake->SetWriteStalls(false);
        fake->HoldOpens(false);
        device.Close();
        EXPECT_EQ(fake->CloseWhileBusy(), 0);
        EXPECT_EQ(fake->ClosesBlockedByWrite(), 0);
    }

    std::shared_ptr<FakePlatform> fake = std::make_shared<FakePlatform>();
    RecordingReceiver receiver;
    CHidDevice device{fake};

public:
    HidDeviceTest()
    {
        device.SetCharset("UTF-8");
        // A confirmed write must not depend on how busy the machine is;
        // the tests of a stalled board use the real bound.
        device.SetSendWaitMs(10000);
    }
};

// Completions queued for the test's thread, as a window's Post queues them.
class AsyncTest : public HidDeviceTest {
protected:
    using Presence = CHidDevice::Presence;
    static constexpr Presence NotYetKnown = Presence::NotYetKnown;
    static constexpr Presence Present = Presence::Present;
    static constexpr Presence Absent = Presence::Absent;

    AsyncTest()
    {
        device.SetPoster([this](std::function<void()> fn) {
            std::lock_guard lock(m_mutex);
            m_posts.push_back(std::move(fn));
        });
        fake->ForbidBlockingCallsOn(std::this_thread::get_id());
    }
    ~AsyncTest() override { EXPECT_EQ(fake->BlockingCallsOnForbiddenThread(), 0); }

    int RunPosts()
    {
        EXPECT_TRUE(device.WaitIdle());
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

}  // namespace hid::test
