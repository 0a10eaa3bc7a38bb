// A board whose text holds noncharacters (U+FDD0, U+FDD1: a text box may
// start a block at them), under a locale whose board code page is UTF-8:
// the console's own logic on the real HID stack makes each report exactly
// one row, the noncharacters shown as U+FFFD.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ticking_window.h"
#include "virtual_board.h"
#include "wendrel_dlg.h"

namespace {

constexpr int kReports = 31;

std::vector<std::u16string> Split(const std::u16string& text)
{
    std::vector<std::u16string> rows;
    if (text.empty()) return rows;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(u"\r\n", from);
        rows.push_back(text.substr(from, at - from));
        if (at == std::u16string::npos) return rows;
        from = at + 2;
    }
}

TEST(NoncharacterRows, EachReportIsOneRow)
{
    // Read at each open: the board's code page is this locale's, UTF-8.
    setenv("LC_ALL", "hi_IN.UTF-8", 1);
    ASSERT_TRUE(VirtualBoard::RemoveAll());
    VirtualBoard board("nonchar");
    ASSERT_NE(board.Plug(), "");
    ASSERT_TRUE(board.StartFirmware());

    std::vector<std::vector<std::uint8_t>> reports;
    for (int i = 0; i < kReports; ++i) {
        const std::string n = std::to_string(i);
        std::vector<std::uint8_t> r{'r'};
        r.insert(r.end(), n.begin(), n.end());
        for (const int b : {0xEF, 0xB7, 0x90, int{'x'}, 0xEF, 0xB7, 0x91, int{'y'}}) r.push_back(static_cast<std::uint8_t>(b));
        reports.push_back(r);
    }

    rig::TickingWindowSystem ws;
    CWendrelDlg dlg(ws);
    std::atomic<bool> sent{false};
    std::thread sender;
    const auto start = std::chrono::steady_clock::now();
    std::u16string history;
    ws.onWindow = [&](rig::TickingWindow& window) {
        window.onTurn = [&](rig::TickingWindow& w, bool) {
            if (!sent && w.GetItemText(res::IDC_STATUS) == u"VID:0x04D8 / PID:0x003F") {
                sent = true;
                sender = std::thread([&] { EXPECT_TRUE(board.SendRaw(reports)); });
            }
            history = w.GetItemText(res::IDC_HISTORY);
            const bool all = Split(history).size() >= kReports;
            // Only a hang ends it otherwise.
            if (all || std::chrono::steady_clock::now() - start > std::chrono::seconds(120)) {
                // A split row would come after the last report: a moment more.
                if (all) std::this_thread::sleep_for(std::chrono::milliseconds(200));
                w.EndDialog(0);
            }
        };
    };
    dlg.DoModal();
    if (sender.joinable()) sender.join();

    const std::vector<std::u16string> rows = Split(history);
    std::printf("%d reports with U+FDD0/U+FDD1 under hi_IN.UTF-8: %zu rows\n", kReports,
                rows.size());
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kReports));
    for (int i = 0; i < kReports; ++i) {
        const std::string n = std::to_string(i);
        std::u16string want = u"r";
        want.append(n.begin(), n.end());
        want += u"\uFFFDx\uFFFDy";
        EXPECT_EQ(rows[static_cast<std::size_t>(i)], want) << "row " << i;
    }
    VirtualBoard::RemoveAll();
}

}  // namespace
