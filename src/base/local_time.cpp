#include "local_time.h"

#include <chrono>

#include "local_time_platform.h"

namespace base {

TimeOfDay LocalTimeOfDay(std::int64_t ms)
{
    // Floored, so that a time before 1970 keeps its milliseconds positive.
    std::int64_t seconds = ms / 1000;
    int millis = static_cast<int>(ms % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    TimeOfDay t{0, 0, 0, millis};
    if (!LocalClock(seconds, t.hour, t.minute, t.second)) {
        // The runtime refuses it (Windows' before 1970): UTC's time of day.
        const std::int64_t day = ((seconds % 86400) + 86400) % 86400;
        t.hour = static_cast<int>(day / 3600);
        t.minute = static_cast<int>(day / 60 % 60);
        t.second = static_cast<int>(day % 60);
    }
    return t;
}

Date LocalDate(std::int64_t ms)
{
    std::int64_t seconds = ms / 1000;
    if (ms % 1000 < 0)
        --seconds;
    Date d;
    if (!LocalCalendar(seconds, d.year, d.month, d.day)) {
        using namespace std::chrono;
        const year_month_day ymd{floor<days>(sys_seconds{std::chrono::seconds{seconds}})};
        d.year = static_cast<int>(ymd.year());
        d.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
        d.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    }
    return d;
}

}  // namespace base
