// How a stored row is shown in the history box, and so copied from it: its
// text alone, or, while times are shown, its arrival time in local time
// first: "HH:MM:SS.mmm  text".
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "line_history.h"
#include "local_time.h"

class CRowFormat {
public:
    bool ShowsTimes() const { return m_bTimes; }
    void ShowTimes(bool on) { m_bTimes = on; }

    std::u16string Shown(const CLineHistory::Row& row);

    // "HH:MM:SS.mmm" of `timeMs`, local time.
    std::u16string TimeText(std::int64_t timeMs);

private:
    bool m_bTimes = false;
    // The last second converted, for the rows of a burst share it.
    std::int64_t m_nSecond = std::numeric_limits<std::int64_t>::min();
    base::TimeOfDay m_second;
};
