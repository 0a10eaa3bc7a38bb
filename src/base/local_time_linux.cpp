#include "local_time_platform.h"

#include <time.h>

namespace base {

bool LocalClock(std::int64_t seconds, int& hour, int& minute, int& second)
{
    const time_t t = static_cast<time_t>(seconds);
    tm local{};
    if (!localtime_r(&t, &local))
        return false;
    hour = local.tm_hour;
    minute = local.tm_min;
    second = local.tm_sec;
    return true;
}

bool LocalCalendar(std::int64_t seconds, int& year, int& month, int& day)
{
    const time_t t = static_cast<time_t>(seconds);
    tm local{};
    if (!localtime_r(&t, &local))
        return false;
    year = local.tm_year + 1900;
    month = local.tm_mon + 1;
    day = local.tm_mday;
    return true;
}

}  // namespace base
