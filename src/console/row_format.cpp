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

std::u16string CRowFormat::HexText(const std::uint8_t* bytes, std::size_t count, bool cut)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    while (count > 0 && bytes[count - 1] == 0)
        --count;
    if (count == 0 && !cut)
        return u"00";
    std::u16string out;
    out.reserve(count * 3 + 2);
    for (std::size_t i = 0; i < count; ++i) {
        if (i)
            out += u' ';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0xF];
    }
    if (cut)
        out += out.empty() ? u"\u2026" : u" \u2026";
    return out;
}

std::u16string CRowFormat::Shown(const CLineHistory::Row& row)
{
    if (!m_bTimes && !m_bBytes)
        return row.text;
    std::u16string out;
    if (m_bTimes) {
        out = TimeText(row.timeMs);
        out += u"  ";
    }
    if (m_bBytes)
        out += HexText(row.bytes, row.byteCount, row.bytesCut);
    else
        out += row.text;
    return out;
}

std::u16string CRowFormat::ShownEvent(std::int64_t timeMs, const std::u16string& text)
{
    if (!m_bTimes)
        return text;
    std::u16string out = TimeText(timeMs);
    out += u"  ";
    out += text;
    return out;
}
