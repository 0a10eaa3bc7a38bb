// A box of rows (the history box) is updated by what changed, not by its
// whole text: rows gone from the top, rows added at the bottom. Its rows
// come from a numbered source, each row one serial after the one before,
// so whoever feeds the box knows exactly which rows it shows (CShownRows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wsys {

using RowSerial = std::uint64_t;

// What a box of rows is to do. Unless `replace` is set, at least one row
// it shows stays: `removed` is less than the rows it shows.
struct RowChange {
    // Every row shown goes; `added` is all the box then shows.
    bool replace = false;
    // Rows that go from the top.
    std::size_t removed = 0;
    // Rows that come at the bottom, oldest first.
    std::vector<std::u16string> added;
    // With `replace`: the rows are the same rows, each shown otherwise
    // (`added` holds as many, in the same order), so a box keeps its view,
    // and a selection where it stands from the end of its rows.
    bool restyle = false;

    bool Empty() const { return !replace && removed == 0 && added.empty(); }
};

// Rows of a numbered source, as a box is to show them: the serial of the
// oldest row the box is to show (`first`), the serial the next row will
// get (`next`), and the newest rows, ending before `next`: those the box
// does not show yet.
struct RowSlice {
    RowSerial first = 0;
    RowSerial next = 0;
    std::vector<std::u16string> rows;
};

// Which rows of its source a box shows: those from First() up to, not
// including, Next().
class CShownRows {
public:
    // The serial from which the source must give rows: every row the box
    // is to show that it does not show yet.
    RowSerial Since() const { return m_nFirst < m_nNext ? m_nNext : 0; }
    RowSerial First() const { return m_nFirst; }
    RowSerial Next() const { return m_nNext; }
    std::size_t Count() const { return static_cast<std::size_t>(m_nNext - m_nFirst); }

    // The change that makes the box show `slice`, and notes that it does.
    // Rows still shown stay where the slice carries on from them (rows go
    // at the top, rows come at the bottom); otherwise (the slice outran
    // the box, or does not follow on) everything is replaced by the rows
    // it brings.
    RowChange Follow(RowSlice slice);

    // The box shows nothing (a new window).
    void Clear() { m_nFirst = m_nNext = 0; }

private:
    RowSerial m_nFirst = 0;
    RowSerial m_nNext = 0;
};

// What `change` does to `rows`: the meaning of a RowChange, for windows
// that keep their rows as strings.
void ApplyRowChange(std::vector<std::u16string>& rows, RowChange change);

// The rows, each but the first after `separator`.
std::u16string JoinRows(const std::vector<std::u16string>& rows, std::u16string_view separator);

}  // namespace wsys
