// The board misbehaving on the rig: unplugged in the middle of a burst and
// in the middle of a write, and sent to its bootloader (another product
// ID) and back while the console's own poll cycle watches.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "codepage.h"
#include "hid_device.h"
#include "recording_receiver.h"
#include "ticking_window.h"
#include "virtual_board.h"
#include "wendrel_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kVid = 0x04D8;
constexpr int kPid = 0x003F;
constexpr int kBootloaderPid = 0x0B00;

// Runs a board command (words split at spaces); its first line of output,
// "ok" when it printed none, or "" on failure.
std::string Board(const std::string& args)
{
    std::vector<std::string> words;
    std::istringstream in(args);
    for (std::string word; in >> word;)
        words.push_back(word);
    const ToolResult r = RunBoardTool(words);
    if (r.status != 0)
        return "";
    const std::string out = r.output.substr(0, r.output.find('\n'));
    return out.empty() ? "ok" : out;
}

std::u16string Widen(const std::string& s) { return {s.begin(), s.end()}; }

std::string Hidg(const std::string& name)
{
    const char* state = std::getenv("WENDREL_BOARD_STATE");
    return std::string(state && *state ? state : "/run/wendrel-board") + "/" + name + "/hidg";
}

milliseconds Elapsed(const std::function<void()>& action)
{
    const auto start = Clock::now();
    action();
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// How long a call that must not wait for the board took: shown, never
// judged (a busy machine stretches any figure); the benchmark measures it.
void ShowTime(const char* what, const std::function<void()>& action)
{
    std::printf("%s: %lld ms\n", what, static_cast<long long>(Elapsed(action).count()));
}

// Ends as soon as the condition holds; the bound only stops a case whose
// event never comes.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 60000)
{
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(Board("remove --all"), ""); }
    void TearDown() override
    {
        device.Close();
        Board("remove --all");
    }

    RecordingReceiver owner;  // outlives the connection
    CHidDevice device;
};

TEST_F(Faults, UnplugMidBurstDeliversEveryLineReadAndEndsTheReader)
{
    const std::string node = Board("plug midburst");
    ASSERT_NE(node, "");
    ASSERT_EQ(device.Open(Widen(node), &owner), 1);
    std::this_thread::sleep_for(milliseconds(200));  // usbhid drops the first ~50 ms

    std::atomic<int> written{0};
    std::atomic<bool> stop{false};
    std::thread burst([&] {
        // Non-blocking: a blocking write to a gadget that has left the bus
        // can wait for ever.
        const int fd = open(Hidg("midburst").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        char report[64];
        for (int n = 1; fd >= 0 && n <= 5000 && !stop;) {
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            std::memset(report, 0, sizeof report);
            std::snprintf(report, sizeof report, "%d", n);
            const ssize_t w = write(fd, report, sizeof report);
            if (w < 0 && errno != EAGAIN)
                break;
            if (w == ssize_t(sizeof report))
                written = n++;
            // About 1,000 a second: room for the reader to be late.
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        if (fd >= 0)
            close(fd);
    });
    const bool underway = WaitUntil([&] { return written >= 500; }, 20000);
    // The board stops writing and leaves the bus at once, straight through
    // configfs: a report written during the unbind itself can oops the
    // guest kernel's HID gadget (f_hidg_req_complete on an unbound
    // function).
    stop = true;
    burst.join();
    const int before = written;
    const int udc = open("/sys/kernel/config/usb_gadget/midburst/UDC", O_WRONLY | O_CLOEXEC);
    const bool unplugged = udc >= 0 && write(udc, "\n", 1) == 1;
    if (udc >= 0)
        close(udc);
    ASSERT_TRUE(underway) << "the burst did not get going";
    ASSERT_TRUE(unplugged);

    EXPECT_TRUE(WaitUntil([&] { return !device.IsReading(); }))
        << "the reader did not end after the unplug";
    ShowTime("Close after the unplug mid-burst", [&] { device.Close(); });

    // In order and each once, and the last line delivered one of the last
    // the board sent: the reader hands every report over as it reads it.
    // The slack covers the kernel's queue of 64 and an emulated machine
    // that leaves the reader unrun for a while (holes in between, from the
    // same cause, are counted, not judged).
    const auto texts = owner.Texts();
    long last = 0;
    int holes = 0;
    for (const std::u16string& t : texts) {
        const long n = std::stol(std::string(t.begin(), t.end()));
        ASSERT_GT(n, last) << "out of order or twice";
        holes += n != last + 1;
        last = n;
    }
    EXPECT_GE(last, before - 200) << "lines the reader had taken were lost ("
                                  << before << " written before the unplug)";
    std::printf("unplug mid-burst: %d reports written before the unplug, %zu delivered, "
                "last %ld, %d hole(s)\n",
                before, texts.size(), last, holes);
}

TEST_F(Faults, UnplugDuringAStuckWriteFailsTheSendsAndDoesNotHang)
{
    ASSERT_NE(Board("plug stuck"), "");  // no firmware: it never reads
    const std::string path = Board("node stuck");
    ASSERT_EQ(device.Open(Widen(path), &owner), 1);
    // Fill the gadget's few slots until the writer is stuck in the kernel.
    for (int i = 0; i < 8; ++i)
        device.SendText(u"fill");

    ASSERT_NE(Board("unplug stuck"), "");
    int sent = -1;
    ShowTime("SendText after the unplug", [&] { sent = device.SendText(u"after"); });
    EXPECT_EQ(sent, 0) << "a send to a vanished board was claimed as done";
    EXPECT_TRUE(WaitUntil([&] { return !device.IsReading(); }));
    ShowTime("Close after the unplug", [&] { device.Close(); });
    EXPECT_FALSE(device.IsOpen());
}

// The console's own logic, its poll cycle ticking at 50 ms: "Bootloder"
// sends the board away as another product; when it comes back as ours,
// on a new node, the console connects to it again.
TEST_F(Faults, TheConsoleFollowsABoardThroughItsBootloaderAndBack)
{
    const std::string first = Board("plug boot");
    ASSERT_NE(first, "");
    ASSERT_NE(Board("start boot --boot-pid " + std::to_string(kBootloaderPid)), "");

    enum Step { Connect, Boot, Away, Back, Line, Done };
    std::atomic<int> step{Connect};
    std::atomic<bool> failed{false};
    std::u16string backPath;
    std::vector<std::u16string> statuses;
    std::thread helper;

    rig::TickingWindowSystem ws;
    CWendrelDlg dlg(ws);
    const auto start = Clock::now();
    ws.onWindow = [&](rig::TickingWindow& window) {
        window.onTurn = [&](rig::TickingWindow& w, bool) {
            const std::u16string status = w.GetItemText(res::IDC_STATUS);
            if (!status.empty() && (statuses.empty() || statuses.back() != status))
                statuses.push_back(status);
            // Only a board that never comes back ends the case early.
            if (Clock::now() - start > std::chrono::seconds(300)) {
                failed = true;
                w.EndDialog(1);
                return;
            }
            switch (step) {
            case Connect:
                if (status == u"VID:0x04D8 / PID:0x003F") {
                    dlg.OnBnClickedBoot();
                    step = Boot;
                }
                break;
            case Boot:
                if (status == u"Non Connections" && dlg.m_strDevicePath.empty()) {
                    step = Away;
                    // The bootloader is done: the board comes back as
                    // itself (slow under emulation: not on this thread).
                    helper = std::thread([&] {
                        if (Board("replug boot --pid " + std::to_string(kPid)) == "")
                            failed = true;
                        step = Back;
                    });
                }
                break;
            case Back:
                if (failed) {
                    w.EndDialog(1);
                } else if (status == u"VID:0x04D8 / PID:0x003F") {
                    backPath = dlg.m_strDevicePath;
                    step = Line;
                    helper.join();
                    helper = std::thread([&] {
                        if (Board("send boot again") == "")
                            failed = true;
                    });
                }
                break;
            case Line:
                if (w.GetItemText(res::IDC_HISTORY).find(u"again") != std::u16string::npos) {
                    step = Done;
                    w.EndDialog(0);
                }
                break;
            default:
                break;
            }
        };
    };
    const int result = dlg.DoModal();
    if (helper.joinable())
        helper.join();

    EXPECT_EQ(result, 0) << "stopped at step " << step;
    EXPECT_FALSE(failed);
    const std::vector<std::u16string> expected{u"VID:0x04D8 / PID:0x003F", u"Non Connections",
                                               u"VID:0x04D8 / PID:0x003F"};
    EXPECT_EQ(statuses, expected);
    EXPECT_FALSE(backPath.empty());
    std::u16string bootloader;
    EXPECT_EQ(device.FindDevices(kVid, kBootloaderPid, bootloader), 0)
        << "the bootloader is still listed";
}

// ---- the poll cycle against the kernel's locks and the node's rights ----

const std::u16string kConnected = u"VID:0x04D8 / PID:0x003F";
const std::u16string kNone = u"Non Connections";

// This thread's right to bypass file permissions, as root has it and a
// user does not. Threads started afterwards (the device's worker) inherit
// what this thread has when they start.
bool SetFileRights(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        if (on)
            data[cap / 32].effective |= 1u << (cap % 32);
        else
            data[cap / 32].effective &= ~(1u << (cap % 32));
    }
    return syscall(SYS_capset, &header, data) == 0;
}

// The console's own logic on the ticking window, with every turn's gap
// measured and a script that plays the world, one step per tick.
struct ConsoleRun {
    rig::TickingWindowSystem ws;
    CWendrelDlg dlg{ws};
    double longestGapMs = 0;
    double gapAtS = 0;  // when the longest gap ended, from the start
    double longestTickMs = 0, longestPostsMs = 0;
    Clock::time_point lastTurn{};
    Clock::time_point started{};
    std::vector<std::u16string> statuses;

    // `step` is called on every tick with the status; it returns true when
    // the run is over. Ends after `limit` whatever happens.
    int Run(const std::function<bool(rig::TickingWindow&, const std::u16string&)>& step,
            std::chrono::seconds limit)
    {
        const auto start = started = Clock::now();
        ws.onWindow = [&](rig::TickingWindow& window) {
            window.onTurn = [&](rig::TickingWindow& w, bool tick) {
                const auto now = Clock::now();
                longestTickMs = w.longestTickMs;
                longestPostsMs = w.longestPostsMs;
                if (lastTurn != Clock::time_point{}) {
                    const double gap =
                        std::chrono::duration<double, std::milli>(now - lastTurn).count();
                    if (gap > longestGapMs) {
                        longestGapMs = gap;
                        gapAtS = std::chrono::duration<double>(now - start).count();
                    }
                }
                lastTurn = now;
                if (!tick)
                    return;
                const std::u16string status = w.GetItemText(res::IDC_STATUS);
                if (statuses.empty() || statuses.back() != status)
                    statuses.push_back(status);
                if (now - start > limit) {
                    w.EndDialog(1);
                    return;
                }
                if (step(w, status))
                    w.EndDialog(0);
            };
        };
        return dlg.DoModal();
    }
};

std::string Narrow(const std::u16string& s) { return {s.begin(), s.end()}; }

std::string Utf8(const std::u16string& s)
{
    std::string out(s.size() * 3 + 1, '\0');
    out.resize(hid::EncodeText(s, reinterpret_cast<std::uint8_t*>(out.data()), out.size(), "UTF-8"));
    return out;
}

// Another HID device has a write stuck in the kernel (it does not read),
// and every open and close of a hidraw node waits for such a write. Our
// board is plugged in meanwhile: the window keeps answering, and the
// board connects as soon as the kernel lets the open through.
TEST_F(Faults, ABoardPluggedDuringAnotherDevicesStuckWriteConnectsWithoutFreezingTheWindow)
{
    const std::string other = Board("plug other --pid 0x0b0b");  // no firmware: never reads
    ASSERT_NE(other, "");

    std::atomic<bool> stuck{false};
    std::atomic<int> stuckWrites{0};
    std::atomic<Clock::rep> writesEnded{0};
    std::thread writer;
    std::thread plugger;
    std::atomic<bool> plugged{false};
    Clock::time_point pluggedAt{};
    Clock::time_point connectedAt{};

    enum Step { Idle, Stuck, Plugging, Done };
    Step step = Idle;
    ConsoleRun run;
    const int result = run.Run(
        [&](rig::TickingWindow&, const std::u16string& status) {
            switch (step) {
            case Idle:
                if (status != kNone)
                    return false;
                // Three writes that each wait about 5 s in the kernel: the
                // gadget takes four reports, then stops taking them.
                writer = std::thread([&] {
                    const int fd = open(other.c_str(), O_RDWR | O_CLOEXEC);
                    std::uint8_t report[65] = {0, 'x'};
                    for (int i = 0; fd >= 0 && stuckWrites < 3 && i < 20; ++i) {
                        const auto t = Clock::now();
                        stuck = i >= 4;
                        (void)!write(fd, report, sizeof report);
                        if (Clock::now() - t > milliseconds(1000))
                            ++stuckWrites;
                    }
                    stuck = false;
                    writesEnded = Clock::now().time_since_epoch().count();
                    if (fd >= 0)
                        close(fd);
                });
                step = Stuck;
                return false;
            case Stuck:
                if (!stuck)
                    return false;
                pluggedAt = Clock::now();
                plugger = std::thread([&] {
                    plugged = Board("--timeout 40 plug ours") != "";
                });
                step = Plugging;
                return false;
            case Plugging:
                if (status == kConnected) {
                    connectedAt = Clock::now();
                    step = Done;
                    return true;
                }
                return false;
            default:
                return true;
            }
        },
        std::chrono::seconds(90));
    if (writer.joinable())
        writer.join();
    if (plugger.joinable())
        plugger.join();

    EXPECT_EQ(result, 0) << "stopped at step " << step;
    EXPECT_TRUE(plugged);
    EXPECT_GE(stuckWrites, 1) << "no write was stuck: the case shows nothing";
    // The window answered all along: no turn of its loop waited for the
    // kernel.
    EXPECT_LT(run.longestGapMs, 500.0);
    const Clock::time_point ended{Clock::duration(writesEnded.load())};
    std::printf("stuck write: %d write(s) of ~5 s; longest gap between turns of the window's "
                "loop %.0f ms (ending %.1f s after the start; plugged at %.1f s; longest tick "
                "%.1f ms, longest posted calls %.1f ms); plugged -> connected %.1f s; last stuck "
                "write ended -> connected %+.1f s\n",
                int(stuckWrites), run.longestGapMs, run.gapAtS,
                std::chrono::duration<double>(pluggedAt - run.started).count(), run.longestTickMs,
                run.longestPostsMs,
                std::chrono::duration<double>(connectedAt - pluggedAt).count(),
                writesEnded ? std::chrono::duration<double>(connectedAt - ended).count() : 0.0);
}

// Without the right to bypass file permissions, a board whose node this
// user may not open: the status names the problem, and the console
// connects once access is granted. Then a second board that cannot be
// opened replaces the first: the status never says connected to it.
TEST_F(Faults, ABoardThatCannotBeOpenedIsNamedAndNeverShownAsConnected)
{
    const std::string first = Board("plug first");
    ASSERT_NE(first, "");
    ASSERT_EQ(chmod(first.c_str(), 0), 0);
    ASSERT_TRUE(SetFileRights(false));
    struct Restore {
        ~Restore() { SetFileRights(true); }
    } restore;
    ASSERT_LT(open(first.c_str(), O_RDONLY | O_CLOEXEC), 0) << "the node opens anyway";

    enum Step { Named, Granted, Second, SecondRefused, SecondGranted, Done };
    Step step = Named;
    int ticks = 0, namedAfter = -1, refusedTicks = 0;
    std::string second;
    std::thread helper;
    std::atomic<bool> helperDone{false};
    bool lied = false;
    ConsoleRun run;
    const int result = run.Run(
        [&](rig::TickingWindow& w, const std::u16string& status) {
            ++ticks;
            switch (step) {
            case Named:
                if (status == PermissionDeniedStatus()) {
                    namedAfter = ticks;
                    chmod(first.c_str(), 0600);
                    step = Granted;
                }
                return false;
            case Granted:
                if (status == kConnected && Narrow(run.dlg.m_strDevicePath) == first) {
                    helper = std::thread([&] {
                        second = Board("plug second");
                        if (!second.empty())
                            chmod(second.c_str(), 0);
                        helperDone = true;
                    });
                    step = Second;
                }
                return false;
            case Second:
                if (!helperDone)
                    return false;
                helper.join();
                if (second.empty())
                    return true;
                // The first goes; the second is found and cannot be opened.
                helper = std::thread([&] { Board("unplug first"); });
                step = SecondRefused;
                return false;
            case SecondRefused:
                if (status == kConnected && Narrow(run.dlg.m_strDevicePath) != first)
                    lied = true;
                if (status == PermissionDeniedStatus() && run.dlg.m_strDevicePath.empty() &&
                    ++refusedTicks >= 5) {
                    chmod(second.c_str(), 0600);
                    step = SecondGranted;
                }
                return false;
            case SecondGranted:
                if (status == kConnected && Narrow(run.dlg.m_strDevicePath) == second) {
                    step = Done;
                    return true;
                }
                (void)w;
                return false;
            default:
                return true;
            }
        },
        std::chrono::seconds(90));
    if (helper.joinable())
        helper.join();

    EXPECT_EQ(result, 0) << "stopped at step " << step;
    EXPECT_FALSE(lied) << "the status said connected while no board was open";
    EXPECT_GE(namedAfter, 1);
    EXPECT_LE(namedAfter, 20) << "the problem was named only after " << namedAfter << " ticks";
    std::printf("no permission: named after %d tick(s); statuses:", namedAfter);
    for (const auto& s : run.statuses)
        std::printf(" [%s]", Utf8(s).c_str());
    std::printf("\n");
}

}  // namespace
