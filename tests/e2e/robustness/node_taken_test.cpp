// The console's own poll cycle while the board's node passes to another
// device between the scan that found it and the open: the open is held
// back (as a stuck write elsewhere holds it on a real machine) while the
// board leaves and a device of another kind, which this user may open
// too, is plugged in and gets the same node.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "faults_fixture.h"
#include "held_open_platform.h"
#include "ticking_window.h"
#include "wendrel_dlg.h"

using namespace faults;

namespace {

TEST_F(Faults, TheConsoleNeverConnectsToADeviceThatTookTheBoardsNode)
{
    const std::string node = Board("plug ours");
    ASSERT_NE(node, "");
    auto platform = std::make_shared<CHeldOpenPlatform>();
    platform->Hold();

    enum Step { Scan, Swap, Refuse, Back, Done };
    Step step = Scan;
    std::string otherNode, backNode, fault;
    std::thread helper;
    std::atomic<bool> helperDone{false};
    std::vector<std::u16string> statuses;
    bool connectedToOther = false;
    const auto start = Clock::now();

    rig::TickingWindowSystem ws;
    CWendrelDlg dlg(ws, platform);
    HeldOpenRelease release{*platform};  // the held opens are the worker's
    auto runHelper = [&](std::function<void()> work) {
        helperDone = false;
        helper = std::thread([&, work = std::move(work)] {
            work();
            helperDone = true;
        });
    };
    ws.onWindow = [&](rig::TickingWindow& window) {
        window.onTurn = [&](rig::TickingWindow& w, bool tick) {
            const std::u16string status = w.GetItemText(res::IDC_STATUS);
            // The note that "secret" was not sent stands on the label for a
            // while; it is no link state.
            const bool note = status.rfind(u"送信できませんでした", 0) == 0;
            if (!status.empty() && !note && (statuses.empty() || statuses.back() != status))
                statuses.push_back(status);
            if (step < Back && status == kConnected)
                connectedToOther = true;
            if (!tick)
                return;
            if (Clock::now() - start > std::chrono::seconds(300)) {
                fault = "timed out";
                w.EndDialog(1);
                return;
            }
            if (helper.joinable() && !helperDone)
                return;
            if (helper.joinable())
                helper.join();
            switch (step) {
            case Scan:
                // The scan found the board; its open waits.
                if (!platform->Held())
                    return;
                runHelper([&] {
                    Board("unplug ours");
                    otherNode = Board("plug other --vid 0x1209 --pid 0x0001");
                    Board("start other");
                });
                step = Swap;
                return;
            case Swap:
                if (otherNode != node) {
                    fault = "the other device got " + otherNode + ", not " + node;
                    w.EndDialog(2);
                    return;
                }
                platform->Release();
                step = Refuse;
                return;
            case Refuse:
                // The open came back on the other device, was let go, and
                // the look after it found no board.
                if (dlg.Device().IsOpening() || status != kNone)
                    return;
                // What the user types goes nowhere.
                w.SetItemText(res::IDC_SEND_TEXT, u"secret");
                dlg.OnOK();
                runHelper([&] { backNode = Board("replug ours"); });
                step = Back;
                return;
            case Back:
                if (status == kConnected && text::ToUtf8(dlg.m_strDevicePath) == backNode) {
                    step = Done;
                    w.EndDialog(0);
                }
                return;
            case Done:
                return;
            }
        };
    };
    const int result = dlg.DoModal();
    if (helper.joinable())
        helper.join();

    EXPECT_EQ(result, 0) << fault << " (step " << step << ")";
    EXPECT_FALSE(connectedToOther) << "the status named the other device as the board";
    const std::vector<std::u16string> expected{kNone, kConnected};
    EXPECT_EQ(statuses, expected);
    EXPECT_EQ(Board("received other"), "ok") << "the other device was sent a report";
    std::printf("node taken: the board's %s went to the other device; the console showed "
                "%zu status(es) and connected to the board again at %s\n",
                node.c_str(), statuses.size(), backNode.c_str());
}

}  // namespace
