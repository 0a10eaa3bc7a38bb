// Times shown in a zone nine hours east of UTC, without summer time,
// whatever the machine's zone, so that a test can spell them out.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <ctime>

inline void UseZoneNineHoursEast()
{
#ifdef _WIN32
    _putenv_s("TZ", "JST-9");
    _tzset();
#else
    setenv("TZ", "JST-9", 1);
    tzset();
#endif
}

// 2027-01-01 00:00:00.000 UTC: 09:00:00.000 in that zone.
inline constexpr std::int64_t kNewYear2027Ms = 1798761600000;
