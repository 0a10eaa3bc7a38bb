// The console with a count of the lines handed to it, so a test knows when
// the board's reports have all arrived.
#pragma once

#include <atomic>

#include "wendrel_dlg.h"

class CountingDlg : public CWendrelDlg {
public:
    using CWendrelDlg::CWendrelDlg;
    void OnReceive(const std::u16string& text) override
    {
        CWendrelDlg::OnReceive(text);
        ++received;
    }
    std::atomic<int> received{0};
};
