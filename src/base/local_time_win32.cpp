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
    // The C runtime refuses times before 1970; those are shown as UTC's.
    const __time64_t t = static_cast<__time64_t>(seconds);
    tm local{};
    if (_localtime64_s(&local, &t) != 0 && _gmtime64_s(&local, &t) != 0) {
        const std::int64_t day = ((seconds % 86400) + 86400) % 86400;
        return {static_cast<int>(day / 3600), static_cast<int>(day / 60 % 60),
                static_cast<int>(day % 60), millis};
    }
    return {local.tm_hour, local.tm_min, local.tm_sec, millis};
}

}  // namespace base
