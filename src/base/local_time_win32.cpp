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

}  // namespace base
