// The one thing the local time of day needs from the system: its zone.
#pragma once

#include <cstdint>

namespace base {

// The local clock time at `seconds` since 1970 UTC; false where the C
// runtime cannot convert it.
bool LocalClock(std::int64_t seconds, int& hour, int& minute, int& second);

}  // namespace base
