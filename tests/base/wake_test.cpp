#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "wake.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#endif

namespace {

// Whether a sleeper on the wake would wake now (0) or after `ms`.
bool WakesWithin(const base::CWake& wake, int ms)
{
#ifdef _WIN32
    return WaitForSingleObject(reinterpret_cast<HANDLE>(wake.Native()), ms) == WAIT_OBJECT_0;
#else
    pollfd p{static_cast<int>(wake.Native()), POLLIN, 0};
    return poll(&p, 1, ms) == 1;
#endif
}

TEST(Wake, SignalsCountOnceAndStayUntilCleared)
{
    base::CWake wake;
    ASSERT_TRUE(wake.Valid());
    EXPECT_FALSE(WakesWithin(wake, 0));
    EXPECT_FALSE(wake.Clear());

    // Given before anyone sleeps: not lost.
    wake.Signal();
    wake.Signal();
    EXPECT_TRUE(WakesWithin(wake, 0));
    EXPECT_TRUE(WakesWithin(wake, 0));
    EXPECT_TRUE(wake.Clear());
    EXPECT_FALSE(WakesWithin(wake, 0));
    EXPECT_FALSE(wake.Clear());
}

TEST(Wake, WakesASleeperOnAnotherThread)
{
    base::CWake wake;
    ASSERT_TRUE(wake.Valid());
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        wake.Signal();
    });
    // The bound only catches a hang.
    EXPECT_TRUE(WakesWithin(wake, 60000));
    signaller.join();
    EXPECT_TRUE(wake.Clear());
}

}  // namespace
