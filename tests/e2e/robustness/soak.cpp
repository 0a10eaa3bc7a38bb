// Soak on the rig: the console's own logic (CWendrelDlg with the real
// CHidDevice, its 50 ms poll cycle) through a fixed number of plug/unplug
// cycles (the first argument; 1,000 in the benchmark, fewer in the tests)
// while every board streams lines. Several boards on their own
// controllers are cycled in turn, so that one is always on its way back
// while another is connected; every 100 cycles all of them go, and the
// console must show "Non Connections".
//
// Passes when every cycle happened, and at the end, all boards gone: as
// many open descriptors and threads as before the first connection, and,
// in a run of more than 100 cycles without a sanitizer, resident memory
// within 1 MB of what it was after the first 100 cycles (the first
// connections fill allocator arenas and library caches once). How long it
// took is printed, never judged: only a board that is never connected
// again for minutes ends the run as a hang. Prints the figures, and one
// "BENCH {...}" line for the benchmark's table.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ticking_window.h"
#include "virtual_board.h"
#include "wendrel_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;

// A sanitizer's allocator keeps freed memory in quarantine: there the
// memory figure is shown, not judged (LeakSanitizer judges leaks).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
constexpr int kDefaultCycles = 1000;
constexpr int kAllOffEvery = 100;
constexpr int kBoards = 4;
constexpr auto kReplugAfter = std::chrono::milliseconds(100);
// A replugged board is connected again within a second or two; this long
// without a connection is a hang, however busy the machine.
constexpr auto kHang = std::chrono::seconds(180);

std::string Env(const char* name, const std::string& fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::string s;
    std::getline(in, s);
    return s;
}

bool WriteSys(const std::string& path, const std::string& value)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = write(fd, value.data(), value.size()) == ssize_t(value.size());
    close(fd);
    return ok;
}

int CountEntries(const char* dir)
{
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// The process's open descriptors but the boards' own ends of the wire
// (the test's streamers), each as what it points at.
std::vector<std::string> OpenDescriptors()
{
    std::vector<std::string> out;
    DIR* d = opendir("/proc/self/fd");
    if (!d)
        return out;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.' || std::atoi(e->d_name) == dirfd(d))
            continue;
        char target[PATH_MAX] = {};
        const std::string link = std::string("/proc/self/fd/") + e->d_name;
        if (readlink(link.c_str(), target, sizeof target - 1) < 0)
            continue;
        if (!std::strstr(target, "/wendrel-board/"))
            out.push_back(std::string(e->d_name) + " -> " + target);
    }
    closedir(d);
    return out;
}

long RssKb()
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

struct Snapshot {
    std::vector<std::string> fdList;
    int fds = 0;
    int threads = 0;
    long rssKb = 0;
};

Snapshot Take()
{
    Snapshot s;
    s.fdList = OpenDescriptors();
    s.fds = int(s.fdList.size());
    s.threads = CountEntries("/proc/self/task");
    s.rssKb = RssKb();
    return s;
}

int RunTool(const std::vector<std::string>& args)
{
    return RunBoardTool(args).status;
}

// One virtual board: plugged and unplugged by writing its controller into
// the gadget's UDC file; a thread writes lines into it while it is on the
// bus.
struct Board {
    std::string name;
    std::string udc;
    // The streamer writes only while the console is connected to this
    // board, and the board leaves the bus only once its last report has
    // been taken: the guest kernel's HID gadget oopses when a report is
    // still in flight at the unbind (f_hidg_req_complete on an unbound
    // function). With the console reading, that is never long.
    std::atomic<bool> active{false};
    std::atomic<bool> quiet{false};
    bool plugged = false;
    bool replugDue = false;
    Clock::time_point replugAt;
    std::thread streamer;

    std::string UdcFile() const { return "/sys/kernel/config/usb_gadget/" + name + "/UDC"; }
    bool Plug()
    {
        plugged = WriteSys(UdcFile(), udc) || plugged;
        replugDue = false;
        return plugged;
    }
    void Unplug()
    {
        // The streamer says quiet only after it has seen `active` cleared.
        active = false;
        quiet = false;
        for (int i = 0; i < 50 && !quiet; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (plugged)
            WriteSys(UdcFile(), "\n");
        plugged = false;
        replugDue = false;
    }
};

void Stream(Board& board, const std::string& hidg, int index, const std::atomic<bool>& stop)
{
    // The gadget's device opens only while the board is on the bus, and a
    // blocking write to a board that has left it can wait for ever.
    int fd = -1;
    char report[64];
    for (long n = 1; !stop;) {
        if (fd < 0 && (fd = open(hidg.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        const bool taken = poll(&p, 1, 20) > 0;  // the last report is gone
        if (!board.active) {
            if (taken) {
                // Nothing in flight: let go of the device, so that the
                // test's own descriptors do not count against the console.
                close(fd);
                fd = -1;
                board.quiet = true;
            }
            continue;
        }
        board.quiet = false;
        if (!taken)
            continue;
        std::memset(report, 0, sizeof report);
        std::snprintf(report, sizeof report, "board %d line %ld", index, n);
        const ssize_t w = write(fd, report, sizeof report);
        if (w == ssize_t(sizeof report)) {
            ++n;
        } else if (w < 0 && errno != EAGAIN) {
            close(fd);  // off the bus: open again once it is back
            fd = -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    if (fd >= 0)
        close(fd);
}

class CountingDlg : public CWendrelDlg {
public:
    using CWendrelDlg::CWendrelDlg;
    void OnReceive(const std::u16string& text) override
    {
        ++lines;
        CWendrelDlg::OnReceive(text);
    }
    std::atomic<long> lines{0};
};

// The board behind a hidraw path, by the controller in its sysfs path.
Board* BoardOf(std::deque<Board>& boards, const std::u16string& path)
{
    const std::string node(path.begin(), path.end());
    const std::string sys = "/sys/class/hidraw/" + node.substr(node.rfind('/') + 1);
    char real[PATH_MAX];
    if (!realpath(sys.c_str(), real))
        return nullptr;
    for (Board& b : boards) {
        const std::string hcd = "/dummy_hcd." + b.udc.substr(b.udc.rfind('.') + 1) + "/";
        if (std::strstr(real, hcd.c_str()))
            return &b;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int totalCycles = argc > 1 ? std::atoi(argv[1]) : kDefaultCycles;
    if (totalCycles < 1) {
        std::printf("usage: soak [CYCLES]\n");
        return 2;
    }
    const bool judgeMemory = !kSanitized && totalCycles > kAllOffEvery;
    if (RunTool({"remove", "--all"}) != 0) {
        std::printf("soak: the board tool does not work here (not in the rig?)\n");
        return 1;
    }
    const std::string state = Env("WENDREL_BOARD_STATE", "/run/wendrel-board");
    std::deque<Board> boards;  // never moved: the streamers hold them
    for (int i = 0; i < kBoards; ++i) {
        const std::string name = "soak" + std::to_string(i);
        if (RunTool({"plug", name}) != 0)
            break;
        Board& b = boards.emplace_back();
        b.name = name;
        b.udc = ReadText(b.UdcFile());
        b.plugged = true;
    }
    if (boards.size() < 2) {
        std::printf("soak: needs at least two boards, got %zu\n", boards.size());
        return 1;
    }
    for (Board& b : boards)
        b.Unplug();
    for (int i = 0; i < 500 && CountEntries("/sys/class/hidraw") > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    std::atomic<bool> stop{false};
    for (std::size_t i = 0; i < boards.size(); ++i)
        boards[i].streamer = std::thread(Stream, std::ref(boards[i]),
                                         state + "/" + boards[i].name + "/hidg", int(i),
                                         std::cref(stop));

    enum class Phase { Baseline, Running, AllOff, Final };
    Phase phase = Phase::Baseline;
    int cycles = 0, connections = 0, allOffs = 0, connectionsWithLines = 0, settle = 0;
    long linesAtConnect = 0;
    std::u16string seen, actedOn;
    int seenTicks = 0;
    Snapshot start, warm, end;
    std::string failure;
    double longestTick = 0;
    // Ticks by what they did: connect, disconnect, neither.
    struct TickKind {
        const char* name;
        int count = 0, over50 = 0;
        double longest = 0;
    } tickKinds[3] = {{"connecting"}, {"disconnecting"}, {"other"}};
    std::u16string tickPath;
    const auto began = Clock::now();
    auto lastProgress = began;
    double longestWait = 0;  // seconds between connections

    rig::TickingWindowSystem ws;
    CountingDlg dlg(ws);
    auto plugAll = [&] {
        for (Board& b : boards)
            b.Plug();
    };
    auto unplugAll = [&] {
        for (Board& b : boards)
            b.Unplug();
    };
    auto disconnected = [&](rig::TickingWindow& w) {
        return w.GetItemText(res::IDC_STATUS) == u"Non Connections" && dlg.m_strDevicePath.empty();
    };

    ws.onWindow = [&](rig::TickingWindow& window) {
        window.onTurn = [&](rig::TickingWindow& w, bool tick) {
            if (!tick)
                return;
            longestTick = w.longestTickMs;
            {
                TickKind& kind = dlg.m_strDevicePath == tickPath ? tickKinds[2]
                                 : dlg.m_strDevicePath.empty()    ? tickKinds[1]
                                                                  : tickKinds[0];
                tickPath = dlg.m_strDevicePath;
                ++kind.count;
                kind.over50 += w.lastTickMs > 50;
                kind.longest = std::max(kind.longest, w.lastTickMs);
            }
            const auto now = Clock::now();
            if (now - lastProgress > kHang) {
                failure = "no connection for " +
                          std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kHang).count()) +
                          " s";
                unplugAll();
                w.EndDialog(1);
                return;
            }
            switch (phase) {
            case Phase::Baseline:
                // Disconnected and settled: the udev monitor is open.
                if (disconnected(w) && ++settle > 3) {
                    start = Take();
                    plugAll();
                    phase = Phase::Running;
                    lastProgress = now;
                }
                return;
            case Phase::AllOff:
            case Phase::Final:
                if (!disconnected(w) || ++settle < 5)
                    return;
                if (phase == Phase::Final) {
                    end = Take();
                    w.EndDialog(0);
                    return;
                }
                if (++allOffs == 1)
                    warm = Take();
                plugAll();
                phase = Phase::Running;
                lastProgress = now;
                return;
            case Phase::Running:
                break;
            }

            for (Board& b : boards)
                if (b.replugDue && now >= b.replugAt)
                    b.Plug();
            const std::u16string& path = dlg.m_strDevicePath;
            if (path != seen) {
                seen = path;
                seenTicks = 0;
                actedOn.clear();
                if (!path.empty()) {
                    if (Board* b = BoardOf(boards, path))
                        b->active = true;
                    ++connections;
                    linesAtConnect = dlg.lines;
                    longestWait = std::max(
                        longestWait, std::chrono::duration<double>(now - lastProgress).count());
                    lastProgress = now;
                }
                return;
            }
            // Connected for two ticks: the board has sent a few lines.
            if (path.empty() || path == actedOn || ++seenTicks < 2)
                return;
            actedOn = path;
            connectionsWithLines += dlg.lines > linesAtConnect;
            Board* b = BoardOf(boards, path);
            if (!b || !b->plugged)
                return;
            b->Unplug();
            b->replugDue = true;
            b->replugAt = now + kReplugAfter;
            if (++cycles % 100 == 0)
                std::printf("soak: %d cycles, %d connections, %ld lines, %.0f s\n", cycles,
                            connections, long(dlg.lines),
                            std::chrono::duration<double>(now - began).count());
            if (cycles == totalCycles || cycles % kAllOffEvery == 0) {
                unplugAll();
                settle = 0;
                phase = cycles == totalCycles ? Phase::Final : Phase::AllOff;
            }
        };
    };
    dlg.DoModal();
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();

    stop = true;
    for (Board& b : boards)
        b.streamer.join();
    unplugAll();
    RunTool({"remove", "--all"});

    std::printf("soak: %d plug/unplug cycles with %zu boards in %.0f s; %d connections "
                "(%d with lines before their unplug), %d times all boards gone; %ld lines\n",
                cycles, boards.size(), seconds, connections, connectionsWithLines, allOffs,
                long(dlg.lines));
    std::printf("soak: longest poll tick %.1f ms; longest wait for a connection %.1f s\n",
                longestTick, longestWait);
    for (const TickKind& kind : tickKinds)
        std::printf("soak: %s ticks: %d, %d over 50 ms, longest %.1f ms\n", kind.name,
                    kind.count, kind.over50, kind.longest);
    std::printf("soak: open descriptors (the boards' own not counted) %d at start, %d after 100 cycles, %d at the end\n",
                start.fds, warm.fds, end.fds);
    std::printf("soak: threads %d at start, %d after 100 cycles, %d at the end\n", start.threads,
                warm.threads, end.threads);
    std::printf("soak: resident memory %ld kB at start, %ld kB after 100 cycles, %ld kB at the "
                "end: %+ld kB since the start, %+ld kB since cycle 100\n",
                start.rssKb, warm.rssKb, end.rssKb, end.rssKb - start.rssKb,
                end.rssKb - warm.rssKb);

    bool ok = failure.empty();
    if (!ok)
        std::printf("soak: FAILED: %s after %d cycles\n", failure.c_str(), cycles);
    if (ok && cycles != totalCycles) {
        std::printf("soak: FAILED: %d cycles of %d\n", cycles, totalCycles);
        ok = false;
    }
    if (ok && (end.fds != start.fds || end.threads != start.threads)) {
        std::printf("soak: FAILED: descriptors or threads not back to their starting count\n");
        for (const std::string& fd : end.fdList)
            std::printf("soak:   open at the end: %s\n", fd.c_str());
        ok = false;
    }
    if (ok && judgeMemory && end.rssKb - warm.rssKb >= 1024) {
        std::printf("soak: FAILED: resident memory grew by 1 MB or more\n");
        ok = false;
    }
    if (ok && dlg.lines == 0) {
        std::printf("soak: FAILED: no line arrived\n");
        ok = false;
    }
    std::printf("BENCH {\"cycles\":%d,\"seconds\":%.1f,\"connections\":%d,\"lines\":%ld,"
                "\"longest_tick_ms\":%.1f,\"longest_wait_s\":%.1f,\"fds_start\":%d,"
                "\"fds_end\":%d,\"threads_start\":%d,\"threads_end\":%d,"
                "\"rss_warm_kb\":%ld,\"rss_end_kb\":%ld,\"passed\":%s}\n",
                cycles, seconds, connections, long(dlg.lines), longestTick, longestWait, start.fds,
                end.fds, start.threads, end.threads, warm.rssKb, end.rssKb,
                ok ? "true" : "false");
    std::printf("soak: %s\n", ok ? "passed" : "failed");
    return ok ? 0 : 1;
}
