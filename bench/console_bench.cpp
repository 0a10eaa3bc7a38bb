// The console itself, measured on the rig: the real CWendrelDlg with the
// real CHidDevice on the Qt window system, seen through a probe that
// timestamps what it shows. One run per mode:
//
//   console_bench receive COUNT READY_FILE
//       connects to the board, creates READY_FILE, then counts the COUNT
//       numbered reports ("<seq> <send time ns>") the board bursts: lines
//       received, lost, rate, report -> history box latency, and the
//       largest gap between turns of the user-interface thread's loop.
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
#include <QApplication>
#include <QTimer>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "probe.h"
#include "qt_window_system.h"
#include "wendrel_dlg.h"

using bench::Ms;
using bench::NowNs;

namespace {

const std::u16string kConnected = u"VID:0x04D8 / PID:0x003F";
const std::u16string kDisconnected = u"Non Connections";

// The console, with every received line noted on its way in.
class CountingDlg : public CWendrelDlg {
public:
    CountingDlg(wsys::IWindowSystem& ws, int count)
        : CWendrelDlg(ws), sendNs(std::size_t(count) + 1, -1), recvNs(std::size_t(count) + 1, -1)
    {
    }

    void OnReceive(const std::u16string& text) override
    {
        const std::int64_t now = NowNs();
        const long long seq = bench::LeadingNumber(text);
        if (seq > 0 && std::size_t(seq) < recvNs.size()) {
            if (recvNs[seq] >= 0)
                ++duplicates;
            else {
                recvNs[seq] = now;
                sendNs[seq] = bench::SecondNumber(text);
            }
            if (seq <= lastSeq)
                ++outOfOrder;
            lastSeq = seq;
        }
        if (firstNs.load() == 0)
            firstNs = now;
        lastNs = now;
        ++received;
        CWendrelDlg::OnReceive(text);
    }

    // Each tick that connected, timed from its start to its end, so that a
    // slow plug can be split into the wait for a tick and the tick's work.
    void OnTimer(int id) override
    {
        const std::int64_t start = NowNs();
        const std::int64_t cpuStart = bench::ThreadCpuNs();
        const std::u16string before = m_strDevicePath;
        CWendrelDlg::OnTimer(id);
        std::lock_guard<std::mutex> g(tickLock);
        tickSpans.push_back({start, NowNs(), bench::ThreadCpuNs() - cpuStart});
        if (!m_strDevicePath.empty() && m_strDevicePath != before)
            connectTicks.push_back({start, NowNs()});
        else
            otherTicks.push_back(start);
    }
    struct Tick {
        std::int64_t start, end;
        std::int64_t cpu = 0;  // on-CPU time of the tick's thread
    };
    // The longest tick that started inside [from, to], in ms.
    double LongestTick(std::int64_t from, std::int64_t to)
    {
        std::lock_guard<std::mutex> g(tickLock);
        std::int64_t worst = 0;
        for (const Tick& t : tickSpans)
            if (t.start >= from && t.start <= to)
                worst = std::max(worst, t.end - t.start);
        return Ms(worst);
    }
    std::mutex tickLock;
    std::vector<Tick> connectTicks;
    std::vector<Tick> tickSpans;
    std::vector<std::int64_t> otherTicks;

    // Written by the reader thread only; read after it has been joined.
    std::vector<std::int64_t> sendNs, recvNs;
    long long lastSeq = 0;
    int duplicates = 0;
    int outOfOrder = 0;
    std::atomic<int> received{0};
    std::atomic<std::int64_t> firstNs{0};
    std::atomic<std::int64_t> lastNs{0};
};

// Times at which a 1 ms timer on the user-interface thread fired.
class LoopGaps {
public:
    void Start()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_fired.push_back(NowNs()); });
        m_timer.start(1);
    }
    // Largest interval between firings inside [from, to], the edges
    // counted; in ms.
    double Largest(std::int64_t from, std::int64_t to) const
    {
        std::int64_t prev = from, worst = 0;
        for (std::int64_t t : m_fired) {
            if (t < from)
                continue;
            if (t > to)
                break;
            worst = std::max(worst, t - prev);
            prev = t;
        }
        if (to > prev)
            worst = std::max(worst, to - prev);
        return Ms(worst);
    }

private:
    QTimer m_timer;
    std::vector<std::int64_t> m_fired;
};

void Touch(const char* path) { std::ofstream(path) << "ready\n"; }

bool WriteFile(const std::string& path, const std::string& value)
{
    std::ofstream out(path);
    out << value;
    out.flush();
    return bool(out);
}

std::string Json(const std::vector<std::pair<std::string, double>>& figures, const char* mode)
{
    std::string out = std::string("{\"mode\":\"") + mode + "\"";
    char buf[64];
    for (const auto& [key, value] : figures) {
        std::snprintf(buf, sizeof buf, "%.3f", value);
        out += ",\"" + key + "\":" + buf;
    }
    return out + "}";
}

void Report(const char* mode, const std::vector<std::pair<std::string, double>>& figures)
{
    std::printf("BENCH %s\n", Json(figures, mode).c_str());
    for (const auto& [key, value] : figures)
        std::printf("  %-24s %.3f\n", key.c_str(), value);
    std::fflush(stdout);
}

// ---- receive ---------------------------------------------------------------

int RunReceive(int count, const char* readyFile)
{
    CQtWindowSystem qtws;
    bench::ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, count);
    LoopGaps gaps;
    bench::ProbeWindow* wnd = nullptr;
    std::vector<std::pair<std::int64_t, long long>> shown;  // (time, last seq shown)
    std::int64_t readyNs = 0;
    // CPU time from the connection to the end of the burst: the whole
    // process, and the user-interface thread's share of it.
    std::int64_t cpuStart = 0, uiCpuStart = 0, cpuEnd = 0, uiCpuEnd = 0;

    ws.onConsole = [&](bench::ProbeWindow& w) {
        wnd = &w;
        w.onText = [&](const bench::TextEvent& e) {
            if (e.id == res::IDC_STATUS && e.text == kConnected && !readyNs) {
                readyNs = e.ns;
                cpuStart = bench::ProcessCpuNs();
                uiCpuStart = bench::ThreadCpuNs();
                Touch(readyFile);
            } else if (e.id == res::IDC_HISTORY) {
                shown.emplace_back(e.ns, bench::LeadingNumber(bench::LastLine(e.text)));
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
            cpuEnd = bench::ProcessCpuNs();
            uiCpuEnd = bench::ThreadCpuNs();
            wnd->EndDialog(0);
        }
    });
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
                          {"box_p50_ms", bench::Percentile(toBox, 50)},
                          {"box_p99_ms", bench::Percentile(toBox, 99)},
                          {"box_max_ms", toBox.empty() ? 0 : toBox.back()},
                          {"owner_p50_ms", bench::Percentile(toOwner, 50)},
                          {"owner_p99_ms", bench::Percentile(toOwner, 99)},
                          {"ui_gap_burst_ms", first ? gaps.Largest(first, burstEnd) : -1},
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
    bench::ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, 1);
    LoopGaps gaps;
    bench::ProbeWindow* wnd = nullptr;
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
    ws.onConsole = [&](bench::ProbeWindow& w) {
        wnd = &w;
        w.onText = [&](const bench::TextEvent& e) {
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

int RunHotplug(int cycles, const std::string& gadget, const std::string& udc)
{
    const std::string udcFile = "/sys/kernel/config/usb_gadget/" + gadget + "/UDC";
    CQtWindowSystem qtws;
    bench::ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, 1);
    NodeWatch nodes;
    LoopGaps gaps;
    bench::ProbeWindow* wnd = nullptr;

    std::mutex lock;
    std::condition_variable changed;
    std::vector<bench::TextEvent> statuses;
    std::shared_ptr<bench::ProbeWindow::Spans> posts;
    ws.onConsole = [&](bench::ProbeWindow& w) {
        wnd = &w;
        posts = w.postSpans;
        w.onText = [&](const bench::TextEvent& e) {
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
    gaps.Start();
    const std::int64_t loopStart = NowNs();
    dlg.DoModal();
    const std::int64_t loopEnd = NowNs();
    driver.join();

    auto summary = [](std::vector<double> v, double& p50, double& worst) {
        std::sort(v.begin(), v.end());
        p50 = bench::Percentile(v, 50);
        worst = v.empty() ? 0 : v.back();
    };
    double plug50, plugMax, unplug50, unplugMax;
    summary(plugMs, plug50, plugMax);
    summary(unplugMs, unplug50, unplugMax);
    double wait50, waitMax, tick50, tickMax, missed50, missedMax;
    summary(plugWaitMs, wait50, waitMax);
    summary(plugTickMs, tick50, tickMax);
    summary(plugEarlierTicks, missed50, missedMax);
    Report("hotplug", {
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
                          {"post_max_ms", posts ? bench::LongestSpan(*posts,
                                                                     loopStart + 500'000'000, loopEnd)
                                                : -1},
                      });
    return failures == 0 ? 0 : 1;
}

// ---- storm -----------------------------------------------------------------

int RunStorm(int count)
{
    CQtWindowSystem qtws;
    bench::ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, 1);
    LoopGaps gaps;
    bench::ProbeWindow* wnd = nullptr;
    std::atomic<std::int64_t> stormStart{0}, stormEnd{0};
    std::atomic<int> fired{0};
    std::thread storm;

    ws.onConsole = [&](bench::ProbeWindow& w) {
        wnd = &w;
        w.onText = [&](const bench::TextEvent& e) {
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

int RunStuckPlug(const std::string& otherNode, const std::string& gadget, const std::string& udc)
{
    const std::string udcFile = "/sys/kernel/config/usb_gadget/" + gadget + "/UDC";
    CQtWindowSystem qtws;
    bench::ProbeWindowSystem ws(qtws);
    CountingDlg dlg(ws, 1);
    LoopGaps gaps;
    bench::ProbeWindow* wnd = nullptr;
    std::atomic<int> stuckWrites{0};
    std::atomic<bool> stuck{false};
    std::atomic<std::int64_t> firstStuck{0}, writesEnded{0}, connectedNs{0};
    std::thread writer, plugger;

    ws.onConsole = [&](bench::ProbeWindow& w) {
        wnd = &w;
        w.onText = [&](const bench::TextEvent& e) {
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


}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::setlocale(LC_ALL, "");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "receive" && argc == 4)
        return RunReceive(std::atoi(argv[2]), argv[3]);
    if (mode == "stall" && argc == 4)
        return RunStall(std::atoi(argv[2]), argv[3]);
    if (mode == "hotplug" && argc == 5)
        return RunHotplug(std::atoi(argv[2]), argv[3], argv[4]);
    if (mode == "storm" && argc == 3)
        return RunStorm(std::atoi(argv[2]));
    if (mode == "stuckplug" && argc == 5)
        return RunStuckPlug(argv[2], argv[3], argv[4]);
    std::fprintf(stderr,
                 "usage: %s receive COUNT READY_FILE | stall SECONDS READY_FILE |"
                 " hotplug CYCLES GADGET UDC | storm COUNT | stuckplug OTHER_NODE GADGET UDC\n",
                 argv[0]);
    return 2;
}
