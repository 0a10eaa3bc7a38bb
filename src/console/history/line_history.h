// The received-line ring: every text the board sends becomes one row of a
// fixed ring of 1000 rows, numbered by a running serial; the newest 18 rows
// are the visible ones.
//
// One report is one row, whatever it holds. Its trailing line break (CR,
// LF, CRLF, repeated) is dropped. Every other control character is shown
// as a visible stand-in that cannot break the row: C0 as its symbol in the
// Control Pictures block (U+2400 + code, so ␍ ␊ ␉; DEL as ␡ U+2421), and C1
// controls, U+2028 and U+2029 as ␦ (U+2426).
//
// The connection's reader thread appends; the user-interface thread reads
// rows at the same time. A lock keeps the two apart; the storage is part
// of the object: nothing is allocated for it.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CLineHistory {
public:
    static constexpr int kRows = 1000;
    static constexpr int kRowUnits = 66;   // 64 text units, terminator, one spare
    static constexpr int kMaxUnits = 64;
    static constexpr int kVisible = 18;
    static constexpr char16_t kOtherControl = u'\u2426';

    // 0 for the first row ever stored, one more for each row after it.
    using Serial = std::uint64_t;

    CLineHistory() = default;

    // Stores `text` (up to its first U+0000, without its trailing line
    // break, control characters replaced) as the next row, cut after 64
    // UTF-16 units, or after 63 when the 64th would split a surrogate pair.
    // Returns the row's serial. Nothing is rendered here: the reader thread
    // only copies the row.
    Serial AppendLine(const std::u16string& text);

    // The visible rows: the serial of the first of them, the serial the
    // next row will get, and the rows from `since` on (all of them where
    // `since` is older than the first), oldest first. Any thread.
    struct Visible {
        Serial first = 0;
        Serial next = 0;
        std::vector<std::u16string> rows;
    };
    Visible VisibleSince(Serial since) const;

    // Every stored row (at most 1000), oldest first, each followed by
    // "\r\n". Any thread.
    std::u16string StoredRows() const;

    // The row `text` becomes (before the cut to 64 units).
    static std::u16string RowText(const std::u16string& text);

    int NextLine() const;
    int TopLine() const;
    // Only while no append runs.
    const char16_t* Row(int row) const { return m_szLines[row]; }

private:
    mutable std::mutex m_lock;
    char16_t m_szLines[kRows][kRowUnits] = {};
    int m_nNextLine = 0;  // where the next row goes
    int m_nTopLine = 0;   // the first visible row
    Serial m_nNextSerial = 0;
};
