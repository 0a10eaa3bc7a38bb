#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>

#include "local_time.h"
#include "test_zone.h"

namespace {

class LocalTimeTest : public ::testing::Test {
protected:
    void SetUp() override { UseZoneNineHoursEast(); }
};

struct Instant {
    std::int64_t ms;
    int hour, minute, second, millisecond;
};

TEST_F(LocalTimeTest, TimeOfDayInTheSystemsZone)
{
    const Instant cases[] = {
        {0, 9, 0, 0, 0},
        {999, 9, 0, 0, 999},
        {1000, 9, 0, 1, 0},
        {15 * 3600 * 1000 - 1, 23, 59, 59, 999},  // the last instant of a local day
        {15 * 3600 * 1000, 0, 0, 0, 0},
        {kNewYear2027Ms + 123, 9, 0, 0, 123},
    };
    for (const Instant& c : cases) {
        const base::TimeOfDay t = base::LocalTimeOfDay(c.ms);
        EXPECT_EQ(t.hour, c.hour) << c.ms;
        EXPECT_EQ(t.minute, c.minute) << c.ms;
        EXPECT_EQ(t.second, c.second) << c.ms;
        EXPECT_EQ(t.millisecond, c.millisecond) << c.ms;
    }
}

// Before 1970 the milliseconds still count up within their second; where
// the runtime cannot convert such a time, it is UTC's.
TEST_F(LocalTimeTest, TimesBefore1970KeepTheirMilliseconds)
{
    const base::TimeOfDay t = base::LocalTimeOfDay(-1);
    EXPECT_EQ(t.second, 59);
    EXPECT_EQ(t.millisecond, 999);
    EXPECT_TRUE(t.hour == 8 || t.hour == 23) << t.hour;
}

// time() may read a coarse clock that lags the precise one by a tick, so
// the bounds allow a second either way: still far from seconds or
// microseconds.
TEST(WallClock, IsTheSystemsClockInMilliseconds)
{
    const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr)) * 1000 - 1000;
    const std::int64_t now = base::WallClockMs();
    const std::int64_t after = static_cast<std::int64_t>(std::time(nullptr)) * 1000 + 2000;
    EXPECT_GE(now, before);
    EXPECT_LT(now, after);
}

}  // namespace
