// The received-line ring: every text the board sends becomes one row of a
// fixed ring of 1000 rows, and the newest 18 rows are rendered for display.
//
// One report is one row, whatever it holds. Its trailing line break (CR,
// LF, CRLF, repeated) is dropped. Every other control character is shown
// as a visible stand-in that cannot break the row: C0 as its symbol in the
// Control Pictures block (U+2400 + code, so ␍ ␊ ␉; DEL as ␡ U+2421), and C1
// controls, U+2028 and U+2029 as ␦ (U+2426).
//
// The connection's reader thread appends; the user-interface thread may
// read every stored row at the same time. A lock keeps the two apart; the
// storage is part of the object: nothing is allocated for it.
#pragma once

#include <mutex>
#include <string>

class CLineHistory {
public:
    static constexpr int kRows = 1000;
    static constexpr int kRowUnits = 66;   // 64 text units, terminator, one spare
    static constexpr int kMaxUnits = 64;
    static constexpr int kVisible = 18;
    static constexpr char16_t kOtherControl = u'\u2426';

    CLineHistory() = default;

    // Stores `text` (up to its first U+0000, without its trailing line
    // break, control characters replaced) as the next row, cut after 64
    // UTF-16 units, or after 63 when the 64th would split a surrogate pair,
    // and returns the visible rows, oldest first, joined by "\r\n".
    std::u16string AppendLine(const std::u16string& text);

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
    std::u16string Render() const;

    mutable std::mutex m_lock;
    char16_t m_szLines[kRows][kRowUnits] = {};
    int m_nNextLine = 0;
    int m_nTopLine = 0;
    int m_nStored = 0;
};
