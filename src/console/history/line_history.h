// The received-line ring: every text the board sends becomes one row of a
// fixed ring of 1000 rows, and the newest 18 rows are rendered for display.
//
// Only the connection's reader thread calls AppendLine, so the ring needs
// no lock. The storage is part of the object: nothing is allocated for it.
#pragma once

#include <string>

class CLineHistory {
public:
    static constexpr int kRows = 1000;
    static constexpr int kRowUnits = 66;   // 64 text units, terminator, one spare
    static constexpr int kMaxUnits = 64;
    static constexpr int kVisible = 18;

    CLineHistory() = default;

    // Stores `text` (up to its first U+0000) as the next row, cut after 64
    // UTF-16 units, or after 63 when the 64th would split a surrogate pair,
    // and returns the visible rows, oldest first, joined by "\r\n".
    std::u16string AppendLine(const std::u16string& text);

    int NextLine() const { return m_nNextLine; }
    int TopLine() const { return m_nTopLine; }
    const char16_t* Row(int row) const { return m_szLines[row]; }

private:
    std::u16string Render() const;

    char16_t m_szLines[kRows][kRowUnits] = {};
    int m_nNextLine = 0;
    int m_nTopLine = 0;
};
