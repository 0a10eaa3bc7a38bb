#include "row_format.h"

namespace {

void Append2(std::u16string& out, int n)
{
    out += static_cast<char16_t>(u'0' + n / 10 % 10);
    out += static_cast<char16_t>(u'0' + n % 10);
}

}  // namespace

std::u16string CRowFormat::TimeText(std::int64_t timeMs)
{
    std::int64_t second = timeMs / 1000;
    int millis = static_cast<int>(timeMs % 1000);
    if (millis < 0) {
        millis += 1000;
        --second;
    }
    if (second != m_nSecond) {
        m_second = base::LocalTimeOfDay(second * 1000);
        m_nSecond = second;
    }
    std::u16string out;
    out.reserve(12);
    Append2(out, m_second.hour);
    out += u':';
    Append2(out, m_second.minute);
    out += u':';
    Append2(out, m_second.second);
    out += u'.';
    out += static_cast<char16_t>(u'0' + millis / 100);
    Append2(out, millis);
    return out;
}

std::u16string CRowFormat::Shown(const CLineHistory::Row& row)
{
    if (!m_bTimes)
        return row.text;
    std::u16string out = TimeText(row.timeMs);
    out += u"  ";
    out += row.text;
    return out;
}
