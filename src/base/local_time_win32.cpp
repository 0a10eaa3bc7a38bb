#include "local_time_platform.h"

#include <time.h>

namespace base {

bool LocalClock(std::int64_t seconds, int& hour, int& minute, int& second)
{
    const __time64_t t = static_cast<__time64_t>(seconds);
    tm local{};
    if (_localtime64_s(&local, &t) != 0)
        return false;
    hour = local.tm_hour;
    minute = local.tm_min;
    second = local.tm_sec;
    return true;
}

bool LocalCalendar(std::int64_t seconds, int& year, int& month, int& day)
{
    const __time64_t t = static_cast<__time64_t>(seconds);
    tm local{};
    if (_localtime64_s(&local, &t) != 0)
        return false;
    year = local.tm_year + 1900;
    month = local.tm_mon + 1;
    day = local.tm_mday;
    return true;
}

}  // namespace base
