// The console's device layer on the rig's real hot-plug: plugging and
// unplugging, a storm of unrelated device events, a plug while another
// device's write is stuck. Modes of console_bench.
#pragma once

#include <sys/inotify.h>

#include <condition_variable>
#include <thread>

#include "bench_common.h"

namespace bench {

// ---- hotplug ---------------------------------------------------------------

// hidraw nodes appearing and vanishing under /dev, timestamped as the
// events arrive.
class NodeWatch {
public:
    struct Event {
        std::int64_t ns;
        bool created;
    };

    NodeWatch()
    {
        m_fd = inotify_init1(IN_CLOEXEC);
        if (m_fd >= 0)
            inotify_add_watch(m_fd, "/dev", IN_CREATE | IN_DELETE);
        m_thread = std::thread([this] { Run(); });
    }
    ~NodeWatch()
    {
        m_stop = true;
        // Wake the read with an event of our own.
        WriteFile("/dev/.bench-wake", "");
        unlink("/dev/.bench-wake");
        m_thread.join();
        if (m_fd >= 0)
            close(m_fd);
    }
    // The last event of the given kind at or after `since`, -1 if none.
    // The console may see a board go before its node does (the reader
    // ends when the kernel drops the device, the node goes after that):
    // waits up to 2 s for the event.
    std::int64_t Last(bool created, std::int64_t since)
    {
        const std::int64_t until = NowNs() + 2'000'000'000;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_lock);
                std::int64_t found = -1;
                for (const Event& e : m_events)
                    if (e.created == created && e.ns >= since)
                        found = e.ns;
                if (found >= 0 || NowNs() > until)
                    return found;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    void Run()
    {
        alignas(inotify_event) char buf[4096];
        while (!m_stop && m_fd >= 0) {
            const ssize_t n = read(m_fd, buf, sizeof buf);
            const std::int64_t t = NowNs();
            if (n <= 0)
                break;
            for (char* p = buf; p < buf + n;) {
                auto* ev = reinterpret_cast<inotify_event*>(p);
                if (ev->len && std::string(ev->name).rfind("hidraw", 0) == 0) {
                    std::lock_guard<std::mutex> lock(m_lock);
                    m_events.push_back({t, (ev->mask & IN_CREATE) != 0});
                }
                p += sizeof(inotify_event) + ev->len;
            }
        }
    }

    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<Event> m_events;
    std::thread m_thread;
};

inline int RunHotplug(int cycles, const std::string& gadget, const std::string& udc)
{
    const std::string udcFile = "/sys/kernel/config/usb_gadget/" + gadget + "/UDC";
    CQtWindowSystem qtws;
    ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, 1);
    NodeWatch nodes;
    LoopGaps gaps;
    ProbeWindow* wnd = nullptr;

    std::mutex lock;
    std::condition_variable changed;
    std::vector<TextEvent> statuses;
    std::shared_ptr<ProbeWindow::Spans> posts;
    ws.onConsole = [&](ProbeWindow& w) {
        wnd = &w;
        posts = w.postSpans;
        w.onText = [&](const TextEvent& e) {
            if (e.id != res::IDC_STATUS)
                return;
            std::lock_guard<std::mutex> g(lock);
            statuses.push_back(e);
            changed.notify_all();
        };
    };
    // Waits for the status `text` set at or after `since`; its time, or -1.
    auto waitStatus = [&](const std::u16string& text, std::int64_t since) -> std::int64_t {
        std::unique_lock<std::mutex> g(lock);
        std::int64_t found = -1;
        changed.wait_for(g, std::chrono::seconds(10), [&] {
            for (const auto& e : statuses)
                if (e.ns >= since && e.text == text)
                    found = e.ns;
            return found >= 0;
        });
        return found;
    };

    std::vector<double> plugMs, unplugMs;
    std::vector<double> plugWaitMs, plugTickMs, plugEarlierTicks;
    int failures = 0;
    std::atomic<bool> windowUp{false};
    std::thread driver([&] {
        while (!windowUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        waitStatus(kDisconnected, 0);
        for (int i = 0; i < cycles; ++i) {
            std::int64_t t0 = NowNs();
            if (!WriteFile(udcFile, udc)) {
                ++failures;
                break;
            }
            const std::int64_t shown = waitStatus(kConnected, t0);
            const std::int64_t node = nodes.Last(true, t0);
            if (shown < 0 || node < 0) {
                std::printf("hotplug: cycle %d: %s after the plug\n", i + 1,
                            shown < 0 ? "not connected" : "no node appeared");
                ++failures;
            }
            else {
                plugMs.push_back(Ms(shown - node));
                // The tick that connected, and the ticks since the node
                // appeared that did not.
                std::lock_guard<std::mutex> g(dlg.tickLock);
                for (const auto& tick : dlg.connectTicks)
                    if (tick.start >= t0) {
                        plugWaitMs.push_back(Ms(tick.start - node));
                        plugTickMs.push_back(Ms(tick.end - tick.start));
                        plugEarlierTicks.push_back(double(std::count_if(
                            dlg.otherTicks.begin(), dlg.otherTicks.end(),
                            [&](std::int64_t t) { return t >= node && t < tick.start; })));
                        break;
                    }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(150));

            t0 = NowNs();
            if (!WriteFile(udcFile, "\n")) {
                ++failures;
                break;
            }
            const std::int64_t gone = waitStatus(kDisconnected, t0);
            const std::int64_t vanished = nodes.Last(false, t0);
            if (gone < 0 || vanished < 0) {
                std::printf("hotplug: cycle %d: %s after the unplug\n", i + 1,
                            gone < 0 ? "no \"Non Connections\"" : "no node vanished");
                ++failures;
            }
            else
                unplugMs.push_back(Ms(gone - vanished));
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        wnd->Post([&] { wnd->EndDialog(0); });
    });
    QTimer::singleShot(0, [&] { windowUp = true; });
    gaps.Start(true);
    const std::int64_t loopStart = NowNs();
    dlg.DoModal();
    const std::int64_t loopEnd = NowNs();
    driver.join();

    auto summary = [](std::vector<double> v, double& p50, double& worst) {
        std::sort(v.begin(), v.end());
        p50 = Percentile(v, 50);
        worst = v.empty() ? 0 : v.back();
    };
    double plug50, plugMax, unplug50, unplugMax;
    summary(plugMs, plug50, plugMax);
    summary(unplugMs, unplug50, unplugMax);
    double wait50, waitMax, tick50, tickMax, missed50, missedMax;
    summary(plugWaitMs, wait50, waitMax);
    summary(plugTickMs, tick50, tickMax);
    summary(plugEarlierTicks, missed50, missedMax);
    // What held the loop in its largest gap.
    const LoopGaps::Gap gap = gaps.LargestGap(loopStart + 500'000'000, loopEnd);
    std::string heldBy;
    std::vector<std::pair<std::string, double>> cause = GapCause(gaps, gap, "gap", heldBy);
    const double tickInGap = dlg.LongestTick(gap.from, gap.to);
    const double postInGap = posts ? LongestSpan(*posts, gap.from, gap.to) : -1;
    std::vector<std::pair<std::string, double>> figures = {
        {"cycles", double(cycles)},
        {"measured_plug", double(plugMs.size())},
        {"measured_unplug", double(unplugMs.size())},
        {"failures", double(failures)},
        {"plug_p50_ms", plug50},
        {"plug_max_ms", plugMax},
        {"unplug_p50_ms", unplug50},
        {"unplug_max_ms", unplugMax},
        {"plug_wait_p50_ms", wait50},
        {"plug_wait_max_ms", waitMax},
        {"plug_tick_p50_ms", tick50},
        {"plug_tick_max_ms", tickMax},
        {"plug_ticks_without_p50", missed50},
        {"plug_ticks_without_max", missedMax},
        {"ui_gap_hotplug_ms", gaps.Largest(loopStart + 500'000'000, loopEnd)},
        {"tick_max_ms", dlg.LongestTick(loopStart + 500'000'000, loopEnd)},
        {"post_max_ms", posts ? LongestSpan(*posts, loopStart + 500'000'000, loopEnd) : -1},
        {"gap_tick_ms", tickInGap},
        {"gap_post_ms", postInGap},
    };
    figures.insert(figures.end(), cause.begin(), cause.end());
    ReportWith("hotplug", figures, {{"gap_event", heldBy}});
    return failures == 0 ? 0 : 1;
}

// ---- storm -----------------------------------------------------------------

inline int RunStorm(int count)
{
    CQtWindowSystem qtws;
    ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, 1);
    LoopGaps gaps;
    ProbeWindow* wnd = nullptr;
    std::atomic<std::int64_t> stormStart{0}, stormEnd{0};
    std::atomic<int> fired{0};
    std::thread storm;

    ws.onConsole = [&](ProbeWindow& w) {
        wnd = &w;
        w.onText = [&](const TextEvent& e) {
            if (e.id != res::IDC_STATUS || e.text != kConnected || storm.joinable())
                return;
            storm = std::thread([&] {
                const int fd = open("/sys/devices/virtual/mem/null/uevent", O_WRONLY | O_CLOEXEC);
                stormStart = NowNs();
                for (int i = 0; fd >= 0 && i < count; ++i)
                    if (pwrite(fd, "change", 6, 0) == 6)
                        ++fired;
                stormEnd = NowNs();
                if (fd >= 0)
                    close(fd);
            });
        };
    };
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        // A second after the storm, for the events still queued.
        if (stormEnd && NowNs() - stormEnd > 1'000'000'000)
            wnd->EndDialog(0);
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&] { wnd->EndDialog(1); });
    limit.start(300'000);
    gaps.Start();
    check.start(100);
    dlg.DoModal();
    const std::int64_t end = NowNs();
    if (storm.joinable())
        storm.join();
    double longestTick = 0, longestTickCpu = 0;
    {
        std::lock_guard<std::mutex> g(dlg.tickLock);
        for (const auto& t : dlg.tickSpans)
            if (t.start >= stormStart) {
                longestTick = std::max(longestTick, Ms(t.end - t.start));
                longestTickCpu = std::max(longestTickCpu, Ms(t.cpu));
            }
    }
    Report("storm", {
                        {"events", double(fired)},
                        {"storm_s", stormStart ? double(stormEnd - stormStart) / 1e9 : -1},
                        {"ui_gap_storm_ms", stormStart ? gaps.Largest(stormStart, end) : -1},
                        {"tick_max_ms", longestTick},
                        {"tick_cpu_max_ms", longestTickCpu},
                    });
    return fired == count ? 0 : 1;
}

// ---- stuckplug -------------------------------------------------------------

inline int RunStuckPlug(const std::string& otherNode, const std::string& gadget, const std::string& udc)
{
    const std::string udcFile = "/sys/kernel/config/usb_gadget/" + gadget + "/UDC";
    CQtWindowSystem qtws;
    ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, 1);
    LoopGaps gaps;
    ProbeWindow* wnd = nullptr;
    std::atomic<int> stuckWrites{0};
    std::atomic<bool> stuck{false};
    std::atomic<std::int64_t> firstStuck{0}, writesEnded{0}, connectedNs{0};
    std::thread writer, plugger;

    ws.onConsole = [&](ProbeWindow& w) {
        wnd = &w;
        w.onText = [&](const TextEvent& e) {
            if (e.id != res::IDC_STATUS)
                return;
            if (e.text == kDisconnected && !writer.joinable()) {
                // Writes that each wait ~5 s in the kernel: the board takes
                // four reports, then stops taking them.
                writer = std::thread([&] {
                    const int fd = open(otherNode.c_str(), O_RDWR | O_CLOEXEC);
                    std::uint8_t report[65] = {0, 'x'};
                    for (int i = 0; fd >= 0 && stuckWrites < 3 && i < 20; ++i) {
                        const std::int64_t t = NowNs();
                        if (i >= 4) {
                            stuck = true;
                            if (!firstStuck)
                                firstStuck = t;
                        }
                        (void)!write(fd, report, sizeof report);
                        if (NowNs() - t > 1'000'000'000)
                            ++stuckWrites;
                    }
                    writesEnded = NowNs();
                    if (fd >= 0)
                        close(fd);
                });
                plugger = std::thread([&] {
                    while (!stuck)
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    WriteFile(udcFile, udc);
                });
            } else if (e.text == kConnected && !connectedNs) {
                connectedNs = e.ns;
            }
        };
    };
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (connectedNs && writesEnded && NowNs() - std::max<std::int64_t>(connectedNs, writesEnded) > 500'000'000)
            wnd->EndDialog(0);
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&] { wnd->EndDialog(1); });
    limit.start(60'000);
    gaps.Start();
    check.start(100);
    dlg.DoModal();
    const std::int64_t end = NowNs();
    if (writer.joinable())
        writer.join();
    if (plugger.joinable())
        plugger.join();
    WriteFile(udcFile, "\n");
    Report("stuckplug", {
                            {"stuck_writes", double(stuckWrites)},
                            {"ui_gap_stuck_ms", firstStuck ? gaps.Largest(firstStuck, end) : -1},
                            {"connected", connectedNs ? 1.0 : 0.0},
                            {"writes_end_to_connected_ms",
                             connectedNs && writesEnded ? Ms(connectedNs - writesEnded) : -1},
                        });
    return connectedNs ? 0 : 1;
}


}  // namespace bench
