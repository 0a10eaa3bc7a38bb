// The console with a count of the lines handed to it, so a test knows when
// the board's reports have all arrived, and a clock the test may set for
// the times the rows arrive at.
#pragma once

#include <atomic>
#include <cstdint>

#include "wendrel_dlg.h"

class CountingDlg : public CWendrelDlg {
public:
    using CWendrelDlg::CWendrelDlg;
    void OnReceive(const std::u16string& text, std::span<const std::uint8_t> bytes) override
    {
        CWendrelDlg::OnReceive(text, bytes);
        ++received;
    }
    std::atomic<int> received{0};
    // Below zero: the system's clock.
    std::atomic<std::int64_t> clockMs{-1};

protected:
    std::int64_t ArrivalTimeMs() const override
    {
        const std::int64_t t = clockMs;
        return t >= 0 ? t : CWendrelDlg::ArrivalTimeMs();
    }
};
