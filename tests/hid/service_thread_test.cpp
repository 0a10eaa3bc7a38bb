// The loop the device layer's threads share, on the smallest user of it: a
// queue of functions.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "hid_device_fixture.h"
#include "service_thread.h"

namespace {

using hid::test::WaitUntil;

// Only catches a hang.
constexpr std::chrono::milliseconds kHangBound{20000};

class CQueueThread final : public hid::CServiceThread {
public:
    // False once stopped: the function is dropped.
    bool Give(std::function<void()> fn)
    {
        Lock lock(m_mutex);
        if (!StartLocked(lock))
            return false;
        m_queue.push_back(std::move(fn));
        m_cond.notify_all();
        return true;
    }

    bool StopWithin(std::chrono::milliseconds patience)
    {
        return Stop(Lock(m_mutex), patience);
    }

    int Exits() const
    {
        Lock lock(m_mutex);
        return m_nExits;
    }

private:
    bool HasWork() const override { return !m_queue.empty(); }
    void DoWork(Lock& lock) override
    {
        std::function<void()> fn = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        fn();
        lock.lock();
    }
    void OnExit(Lock&) override { ++m_nExits; }

    std::deque<std::function<void()>> m_queue;
    int m_nExits = 0;
};

// A gate the work waits at until the test opens it.
struct Gate {
    std::atomic<bool> open{false};
    void Pass() const
    {
        while (!open) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

// Work given before Stop is done before the thread ends, in order; work
// given after it is refused.
TEST(ServiceThread, StopFinishesTheWorkGivenSoFarThenRefusesMore)
{
    auto thread = std::make_shared<CQueueThread>();
    auto gate = std::make_shared<Gate>();
    auto done = std::make_shared<std::vector<int>>();
    ASSERT_TRUE(thread->Give([gate, done] {
        gate->Pass();
        done->push_back(1);
    }));
    ASSERT_TRUE(thread->Give([done] { done->push_back(2); }));
    ASSERT_TRUE(thread->Give([done] { done->push_back(3); }));

    std::atomic<bool> joined{false};
    std::thread stopper([&] { joined = thread->StopWithin(kHangBound); });
    gate->open = true;
    stopper.join();
    EXPECT_TRUE(joined);
    EXPECT_EQ(*done, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(thread->Exits(), 1);

    EXPECT_FALSE(thread->Give([done] { done->push_back(4); }));
    EXPECT_EQ(done->size(), 3u);
}

// Stop without patience leaves a thread inside its work to end by itself;
// the thread keeps the object alive until then.
TEST(ServiceThread, AThreadLeftInsideItsWorkEndsByItself)
{
    auto thread = std::make_shared<CQueueThread>();
    auto gate = std::make_shared<Gate>();
    auto inside = std::make_shared<std::atomic<bool>>(false);
    ASSERT_TRUE(thread->Give([gate, inside] {
        *inside = true;
        gate->Pass();
    }));
    ASSERT_TRUE(WaitUntil([&] { return inside->load(); }));
    EXPECT_FALSE(thread->StopWithin(std::chrono::milliseconds::zero()));

    const std::weak_ptr<CQueueThread> watch = thread;
    thread.reset();
    EXPECT_FALSE(watch.expired());
    gate->open = true;
    EXPECT_TRUE(WaitUntil([&] { return watch.expired(); }));
}

// A thread never started has nothing to wait for.
TEST(ServiceThread, StopWithoutAThreadReturnsAtOnce)
{
    auto thread = std::make_shared<CQueueThread>();
    EXPECT_TRUE(thread->StopWithin(kHangBound));
    EXPECT_EQ(thread->Exits(), 0);
    EXPECT_FALSE(thread->Give([] {}));
}

}  // namespace
