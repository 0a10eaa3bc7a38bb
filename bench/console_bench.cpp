// The console itself, measured on the rig: the real CWendrelDlg with the
// real CHidDevice on the Qt window system, seen through a probe that
// timestamps what it shows. One run per mode:
//
//   console_bench receive COUNT READY_FILE [times] [views] [quiet]
//       connects to the board, creates READY_FILE, then counts the COUNT
//       numbered reports ("<seq> <send time ns>") the board sends: lines
//       received, lost, rate, report -> history box latency, and the
//       largest gap between turns of the user-interface thread's loop.
//       With "times", the rows show their arrival times throughout; with
//       "views", their bytes, and the connection and sends among them. With
//       "quiet", no 1 ms timer looks for gaps: its thousand wake-ups a
//       second are not the console's, and cost it CPU time and rate.
//   console_bench browse COUNT READY_FILE
//       once the board has sent COUNT reports: pages through the history
//       box, searches it and turns times on and off (browse_bench.h).
//   console_bench stall SECONDS READY_FILE
//       connects to a board that never reads and presses "Bootloder"
//       every 100 ms for SECONDS: the largest gap in the loop meanwhile.
//   console_bench hotplug CYCLES GADGET UDC
//       plugs and unplugs the configfs gadget GADGET on controller UDC
//       CYCLES times: hidraw node appears -> "VID:0x04D8 / PID:0x003F",
//       node vanishes -> "Non Connections"; the largest gap in the loop.
//   console_bench storm COUNT
//       connected to a board, makes the kernel send COUNT unrelated device
//       events ("change" on /dev/null's device): the largest gap in the
//       loop and the longest poll tick meanwhile.
//   console_bench stuckplug OTHER_NODE GADGET UDC
//       another HID device (OTHER_NODE, a board that never reads) gets
//       writes that each wait ~5 s in the kernel; meanwhile GADGET is
//       plugged on UDC: the largest gap in the loop, and the time from the
//       end of the last stuck write to "VID:0x04D8 / PID:0x003F".
//
// Prints one line "BENCH {json}" with the figures, and a readable summary.
#include <clocale>

#include "bench_common.h"
#include "browse_bench.h"
#include "hotplug_bench.h"

using namespace bench;

namespace {

// ---- receive ---------------------------------------------------------------

int RunReceive(int count, const char* readyFile, bool times, bool views, bool quiet)
{
    CQtWindowSystem qtws;
    ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, count);
    LoopGaps gaps;
    ProbeWindow* wnd = nullptr;
    std::vector<std::pair<std::int64_t, long long>> shown;  // (time, last seq shown)
    std::int64_t readyNs = 0;
    // CPU time from the connection to the end of the burst: the whole
    // process, and the user-interface thread's share of it.
    std::int64_t cpuStart = 0, uiCpuStart = 0, cpuEnd = 0, uiCpuEnd = 0;

    ws.onConsole = [&](ProbeWindow& w) {
        wnd = &w;
        w.onText = [&](const TextEvent& e) {
            if (e.id == res::IDC_STATUS && e.text == kConnected && !readyNs) {
                // Chosen as the user would, once the window is up.
                if (times && !ChooseFromHistoryMenu("command32771"))
                    std::printf("receive: no entry that shows times\n");
                if (views && !(ChooseFromHistoryMenu("command32780") &&
                               ChooseFromHistoryMenu("command32781")))
                    std::printf("receive: no entries that show bytes and events\n");
                readyNs = e.ns;
                cpuStart = ProcessCpuNs();
                uiCpuStart = ThreadCpuNs();
                Touch(readyFile);
            } else if (e.id == res::IDC_HISTORY) {
                shown.emplace_back(e.ns, RowNumber(LastLine(e.text)));
            }
        };
    };

    const std::int64_t start = NowNs();
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        const std::int64_t now = NowNs();
        const bool allShown = !shown.empty() && shown.back().second >= count;
        const bool quiet = dlg.received > 0 && now - dlg.lastNs > 3'000'000'000;
        if (allShown || quiet || now - start > 180'000'000'000LL) {
            cpuEnd = ProcessCpuNs();
            uiCpuEnd = ThreadCpuNs();
            wnd->EndDialog(0);
        }
    });
    if (!quiet)
        gaps.Start();
    check.start(100);
    dlg.DoModal();
    const std::int64_t end = NowNs();

    // Each line's time to the box: the first update whose last line is it
    // or a later one.
    std::vector<double> toBox, toOwner;
    std::size_t k = 0;
    int received = 0;
    for (int seq = 1; seq <= count; ++seq) {
        if (dlg.recvNs[seq] < 0)
            continue;
        ++received;
        if (dlg.sendNs[seq] > 0)
            toOwner.push_back(Ms(dlg.recvNs[seq] - dlg.sendNs[seq]));
        while (k < shown.size() && shown[k].second < seq)
            ++k;
        if (k < shown.size() && dlg.sendNs[seq] > 0)
            toBox.push_back(Ms(shown[k].first - dlg.sendNs[seq]));
    }
    std::sort(toBox.begin(), toBox.end());
    std::sort(toOwner.begin(), toOwner.end());
    const std::int64_t first = dlg.firstNs, last = dlg.lastNs;
    const double seconds = last > first ? double(last - first) / 1e9 : 0;
    const std::int64_t burstEnd = shown.empty() ? last : std::max(last, shown.back().first);
    Report("receive", {
                          {"connected_ms", readyNs ? Ms(readyNs - start) : -1},
                          {"sent", double(count)},
                          {"received", double(received)},
                          {"lost", double(count - received)},
                          {"duplicates", double(dlg.duplicates)},
                          {"out_of_order", double(dlg.outOfOrder)},
                          {"rate", seconds > 0 ? (received - 1) / seconds : 0},
                          {"box_updates", double(shown.size())},
                          {"box_p50_ms", Percentile(toBox, 50)},
                          {"box_p99_ms", Percentile(toBox, 99)},
                          {"box_max_ms", toBox.empty() ? 0 : toBox.back()},
                          {"owner_p50_ms", Percentile(toOwner, 50)},
                          {"owner_p99_ms", Percentile(toOwner, 99)},
                          {"ui_gap_burst_ms", first && !quiet ? gaps.Largest(first, burstEnd) : -1},
                          {"cpu_ms", cpuStart && cpuEnd ? Ms(cpuEnd - cpuStart) : -1},
                          {"ui_cpu_ms", cpuStart && cpuEnd ? Ms(uiCpuEnd - uiCpuStart) : -1},
                          {"run_s", double(end - start) / 1e9},
                      });
    return received == count ? 0 : 1;
}

// ---- stall -----------------------------------------------------------------

int RunStall(int seconds, const char* readyFile)
{
    CQtWindowSystem qtws;
    ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, 1);
    LoopGaps gaps;
    ProbeWindow* wnd = nullptr;
    std::int64_t firstPress = 0, lastPress = 0;
    int presses = 0;
    double longestPress = 0;

    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        const std::int64_t t = NowNs();
        if (!firstPress)
            firstPress = t;
        dlg.OnBnClickedBoot();
        lastPress = NowNs();
        longestPress = std::max(longestPress, Ms(lastPress - t));
        ++presses;
        if (lastPress - firstPress > std::int64_t(seconds) * 1'000'000'000)
            wnd->EndDialog(0);
    });
    ws.onConsole = [&](ProbeWindow& w) {
        wnd = &w;
        w.onText = [&](const TextEvent& e) {
            if (e.id == res::IDC_STATUS && e.text == kConnected && !press.isActive()) {
                Touch(readyFile);
                press.start(100);
            }
        };
    };
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&] { wnd->EndDialog(1); });
    limit.start((seconds + 60) * 1000);
    gaps.Start();
    dlg.DoModal();
    const std::int64_t end = NowNs();
    Report("stall", {
                        {"presses", double(presses)},
                        {"press_max_ms", longestPress},
                        {"ui_gap_stall_ms", firstPress ? gaps.Largest(firstPress, end) : -1},
                    });
    return presses > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    BenchApp app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::setlocale(LC_ALL, "");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "receive" && argc >= 4) {
        bool times = false, views = false, quiet = false;
        for (int i = 4; i < argc; ++i) {
            times |= std::string(argv[i]) == "times";
            views |= std::string(argv[i]) == "views";
            quiet |= std::string(argv[i]) == "quiet";
        }
        return RunReceive(std::atoi(argv[2]), argv[3], times, views, quiet);
    }
    if (mode == "browse" && argc == 4)
        return RunBrowse(std::atoi(argv[2]), argv[3]);
    if (mode == "stall" && argc == 4)
        return RunStall(std::atoi(argv[2]), argv[3]);
    if (mode == "hotplug" && argc == 5)
        return RunHotplug(std::atoi(argv[2]), argv[3], argv[4]);
    if (mode == "storm" && argc == 3)
        return RunStorm(std::atoi(argv[2]));
    if (mode == "stuckplug" && argc == 5)
        return RunStuckPlug(argv[2], argv[3], argv[4]);
    std::fprintf(stderr,
                 "usage: %s receive COUNT READY_FILE [times] [views] [quiet] | browse COUNT READY_FILE |"
                 " stall SECONDS READY_FILE |"
                 " hotplug CYCLES GADGET UDC | storm COUNT | stuckplug OTHER_NODE GADGET UDC\n",
                 argv[0]);
    return 2;
}
