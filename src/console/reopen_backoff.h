// When to open again a board that stays listed but whose reader ends as
// soon as it is opened. The first such end in a row is taken for the
// board going and coming back under its path between two looks, and the
// board is opened again at once; from the second, the console waits
// kFirstWait, twice as long after each further one, up to kLongestWait,
// and says that the board cannot be read until a reader lasts.
//
// A reader lasts when it runs for kLasting; that, another device or path,
// or the board going away ends the back-off. Times are the caller's, so
// that tests set them.
#pragma once

#include <chrono>
#include <string>

class CReopenBackoff {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFirstWait{500};
    static constexpr std::chrono::milliseconds kLongestWait{8000};
    static constexpr std::chrono::milliseconds kLasting{2000};

    // A connection to `path` is open; `instance` names its device where
    // the platform can tell ("" elsewhere). Another device than the last
    // one's ends the back-off.
    void Opened(const std::u16string& path, const std::u16string& instance, Clock::time_point now);

    // The open connection's reader has ended. True when the board is to be
    // left alone for a while: its reader ended at once, not for the first
    // time in a row.
    bool ReaderEnded(Clock::time_point now);

    // The board's reader keeps ending at once: the console holds off, or
    // waits for a reader to last.
    bool Failing() const { return m_nQuickEnds >= 2; }

    // Whether the board at `path` may be opened now.
    bool MayOpen(const std::u16string& path, Clock::time_point now) const;

    // The open connection's reader has run long enough to trust it.
    bool Lasted(Clock::time_point now) const;

    // The path of the connection the back-off is about.
    const std::u16string& Path() const { return m_strPath; }

    // How long the console holds off after the current run of ends.
    Clock::duration Wait() const;

    // The board went away, or a reader lasted: the next end starts afresh.
    void Reset();

private:
    std::u16string m_strPath;
    std::u16string m_strInstance;
    Clock::time_point m_openedAt{};
    Clock::time_point m_retryAt{};
    bool m_bOpen = false;
    int m_nQuickEnds = 0;  // in a row, on one device
};
