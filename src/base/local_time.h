// Wall-clock time as rows are stamped with it, and its local time of day
// as the user reads it. Only the conversion needs the system (its time
// zone); each platform's file gives it.
#pragma once

#include <chrono>
#include <cstdint>

namespace base {

// Milliseconds since 1970-01-01 00:00 UTC.
inline std::int64_t WallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The local time of day at `ms` (WallClockMs's scale), in the system's
// time zone as it is now. A time the system cannot convert is given as UTC.
TimeOfDay LocalTimeOfDay(std::int64_t ms);

struct Date {
    int year = 1970;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
};

// The local calendar date at `ms`, as LocalTimeOfDay takes it; UTC's
// where the system cannot convert it.
Date LocalDate(std::int64_t ms);

}  // namespace base
