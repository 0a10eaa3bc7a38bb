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
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <thread>

#include "board_tool.h"
#include "counting_dlg.h"
#include "process_snapshot.h"
#include "soak_board.h"
#include "ticking_window.h"
#include "wendrel_dlg.h"

using namespace soak;

namespace {

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
const std::u16string kNoConnection = u"Non Connections";

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
    if (rig::RunBoard("remove --all").empty()) {
        std::printf("soak: the board tool does not work here (not in the rig?)\n");
        return 1;
    }
    const std::string state = rig::BoardState();
    std::deque<Board> boards;  // never moved: the streamers hold them
    for (int i = 0; i < kBoards; ++i) {
        const std::string name = "soak" + std::to_string(i);
        if (rig::RunBoard("plug " + name).empty())
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
        return w.GetItemText(res::IDC_STATUS) == kNoConnection && dlg.m_strDevicePath.empty();
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
                    linesAtConnect = dlg.received;
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
            connectionsWithLines += dlg.received > linesAtConnect;
            Board* b = BoardOf(boards, path);
            if (!b || !b->plugged)
                return;
            b->Unplug();
            b->replugDue = true;
            b->replugAt = now + kReplugAfter;
            if (++cycles % 100 == 0)
                std::printf("soak: %d cycles, %d connections, %ld lines, %.0f s\n", cycles,
                            connections, long(dlg.received),
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
    rig::RunBoard("remove --all");

    std::printf("soak: %d plug/unplug cycles with %zu boards in %.0f s; %d connections "
                "(%d with lines before their unplug), %d times all boards gone; %ld lines\n",
                cycles, boards.size(), seconds, connections, connectionsWithLines, allOffs,
                long(dlg.received));
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
    if (ok && dlg.received == 0) {
        std::printf("soak: FAILED: no line arrived\n");
        ok = false;
    }
    std::printf("BENCH {\"cycles\":%d,\"seconds\":%.1f,\"connections\":%d,\"lines\":%ld,"
                "\"longest_tick_ms\":%.1f,\"longest_wait_s\":%.1f,\"fds_start\":%d,"
                "\"fds_end\":%d,\"threads_start\":%d,\"threads_end\":%d,"
                "\"rss_warm_kb\":%ld,\"rss_end_kb\":%ld,\"passed\":%s}\n",
                cycles, seconds, connections, long(dlg.received), longestTick, longestWait, start.fds,
                end.fds, start.threads, end.threads, warm.rssKb, end.rssKb,
                ok ? "true" : "false");
    std::printf("soak: %s\n", ok ? "passed" : "failed");
    return ok ? 0 : 1;
}

