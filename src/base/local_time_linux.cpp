#include "local_time.h"

#include <time.h>

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
    const time_t t = static_cast<time_t>(seconds);
    tm local{};
    if (!localtime_r(&t, &local) && !gmtime_r(&t, &local))
        return {0, 0, 0, millis};
    return {local.tm_hour, local.tm_min, local.tm_sec, millis};
}

}  // namespace base
