// The one thing local time needs from the system: its zone.
#pragma once

#include <cstdint>

namespace base {

// The local clock time at `seconds` since 1970 UTC; false where the C
// runtime cannot convert it.
bool LocalClock(std::int64_t seconds, int& hour, int& minute, int& second);
// The local calendar date there, the same way.
bool LocalCalendar(std::int64_t seconds, int& year, int& month, int& day);

}  // namespace base
