// How a stored row is shown in the history box, and so copied, found and
// saved: its text, or while bytes are shown the bytes of its report in
// hexadecimal ("48 69"); while times are shown, its arrival time in local
// time first: "HH:MM:SS.mmm  text". Events among the rows (connects,
// sends) are shown the same way, their time first while times are shown.
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
    bool ShowsBytes() const { return m_bBytes; }
    void ShowBytes(bool on) { m_bBytes = on; }

    std::u16string Shown(const CLineHistory::Row& row);
    // An event's text as the box shows it.
    std::u16string ShownEvent(std::int64_t timeMs, const std::u16string& text);

    // "HH:MM:SS.mmm" of `timeMs`, local time.
    std::u16string TimeText(std::int64_t timeMs);

    // Two upper-case hex digits a byte, a space between, up to the last
    // non-zero byte; "00" when none is. `cut`: more followed, shown as
    // " …".
    static std::u16string HexText(const std::uint8_t* bytes, std::size_t count, bool cut = false);

private:
    bool m_bTimes = false;
    bool m_bBytes = false;
    // The last second converted, for the rows of a burst share it.
    std::int64_t m_nSecond = std::numeric_limits<std::int64_t>::min();
    base::TimeOfDay m_second;
};
