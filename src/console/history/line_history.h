// The received-line ring: every text the board sends becomes one row of a
// fixed ring of 1000 rows, numbered by a running serial and stamped with
// the time it arrived. The history box shows every stored row.
//
// One report is one row, whatever it holds. Its trailing line break (CR,
// LF, CRLF, repeated) is dropped. Every other control character is shown
// as a visible stand-in that cannot break the row: C0 as its symbol in the
// Control Pictures block (U+2400 + code, so ␍ ␊ ␉; DEL as ␡ U+2421), and C1
// controls, U+2028 and U+2029 as ␦ (U+2426). Noncharacters (U+FDD0 to
// U+FDEF, and U+xxFFFE and U+xxFFFF of every plane, pairs included) show as
// the stand-in for what cannot be read, U+FFFD.
//
// Each row also keeps the bytes of its report as the board sent them, up to
// the last non-zero one, so that either can be shown at any time.
//
// The connection's reader thread appends; the user-interface thread reads
// rows and clears the ring at the same time. A lock keeps them apart; the
// storage is part of the object: nothing is allocated for it.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

class CLineHistory {
public:
    static constexpr int kRows = 1000;
    static constexpr int kRowUnits = 66;   // 64 text units, terminator, one spare
    static constexpr int kMaxUnits = 64;
    static constexpr char16_t kOtherControl = u'\u2426';
    // Bytes of a report kept per row: a full-speed report's data.
    static constexpr int kMaxBytes = 64;
    static constexpr char16_t kUnknown = u'\uFFFD';

    // 0 for the first row ever stored, one more for each row after it;
    // clearing the ring does not start it again.
    using Serial = std::uint64_t;

    CLineHistory() = default;

    // Stores `text` (up to its first U+0000, without its trailing line
    // break, control characters replaced) as the next row, cut after 64
    // UTF-16 units, or after 63 when the 64th would split a surrogate pair,
    // with its arrival time `timeMs` (base::WallClockMs's scale). Returns
    // the row's serial. `bytes`: the report's data (without its ID byte).
    // Nothing is rendered here: the reader thread only copies the row.
    Serial AppendLine(const std::u16string& text, std::int64_t timeMs = 0,
                      std::span<const std::uint8_t> bytes = {});

    // Stored rows: the serial of the oldest, the serial the next row will
    // get, and the rows from `since` on (all of them where `since` is older
    // than the oldest), oldest first. Any thread.
    struct Row {
        std::u16string text;
        std::int64_t timeMs = 0;
        // The report's data up to its last non-zero byte, at most
        // kMaxBytes of it; `bytesCut` when a non-zero byte came later.
        std::uint8_t bytes[kMaxBytes] = {};
        std::uint8_t byteCount = 0;
        bool bytesCut = false;
        bool operator==(const Row&) const = default;
    };
    struct Rows {
        Serial first = 0;
        Serial next = 0;
        std::vector<Row> rows;
    };
    Rows RowsSince(Serial since) const;

    // Empties the ring; the next row still gets the next serial. Any thread.
    void Clear();

    // The row `text` becomes (before the cut to 64 units).
    static std::u16string RowText(const std::u16string& text);

    // The slot the next row goes to, and how many rows are stored.
    int NextLine() const;
    int StoredCount() const;
    // Only while no append runs.
    const char16_t* Slot(int slot) const { return m_szLines[slot]; }

private:
    mutable std::mutex m_lock;
    char16_t m_szLines[kRows][kRowUnits] = {};
    std::int64_t m_nTimes[kRows] = {};
    std::uint8_t m_nBytes[kRows][kMaxBytes] = {};
    std::uint8_t m_nByteCounts[kRows] = {};
    bool m_bBytesCut[kRows] = {};
    int m_nNextLine = 0;  // where the next row goes
    int m_nStored = 0;    // rows before m_nNextLine that are kept
    Serial m_nNextSerial = 0;
};
