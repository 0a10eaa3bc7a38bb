#include "row_change.h"

#include <algorithm>
#include <iterator>

namespace wsys {

RowChange CShownRows::Follow(RowSlice slice)
{
    RowChange change;
    const RowSerial count = slice.rows.size();
    const RowSerial from = slice.next >= count ? slice.next - count : 0;
    if (slice.rows.empty() && m_nFirst == m_nNext) {
        // Nothing shown and nothing to show.
        m_nFirst = m_nNext = slice.next;
        return change;
    }
    const bool carriesOn = m_nFirst < m_nNext && from == m_nNext && slice.first >= m_nFirst &&
                           slice.first < m_nNext;
    if (carriesOn) {
        change.removed = static_cast<std::size_t>(slice.first - m_nFirst);
        m_nFirst = slice.first;
    } else {
        change.replace = true;
        m_nFirst = from;
    }
    change.added = std::move(slice.rows);
    m_nNext = from + count;
    return change;
}

void ApplyRowChange(std::vector<std::u16string>& rows, RowChange change)
{
    if (change.replace) {
        rows = std::move(change.added);
        return;
    }
    rows.erase(rows.begin(), rows.begin() + std::min(change.removed, rows.size()));
    std::move(change.added.begin(), change.added.end(), std::back_inserter(rows));
}

std::u16string JoinRows(const std::vector<std::u16string>& rows, std::u16string_view separator)
{
    std::u16string text;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i)
            text += separator;
        text += rows[i];
    }
    return text;
}

}  // namespace wsys
