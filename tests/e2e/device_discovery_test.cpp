// Finding the board, and opening it, on the guest kernel's real USB HID stack: CHidDevice with
// the system platform (hidapi, hidraw, udev) against the virtual board.
// Runs inside the rig's VM (tests/e2e/run_cases.py).
#include "device_access.h"

namespace {

using namespace device_access;

// ---- discovery --------------------------------------------------------

using Discovery = CleanBus;

TEST_F(Discovery, NoBoardFindsNothingAndLeavesThePathAlone)
{
    std::u16string path = u"untouched";
    EXPECT_EQ(device.FindDevices(kVid, kPid, path), 0);
    EXPECT_EQ(path, u"untouched");
}

TEST_F(Discovery, OurBoardIsFoundWithAPathThatOpens)
{
    VirtualBoard board("ours");
    std::string node = board.Plug();
    ASSERT_FALSE(node.empty());

    std::u16string path;
    ASSERT_EQ(device.FindDevices(kVid, kPid, path), 1);
    EXPECT_EQ(path, Widen(node));
    EXPECT_EQ(device.Open(path, &owner), 1);
    EXPECT_TRUE(device.IsOpen());
}

TEST_F(Discovery, AnotherProductAloneIsNotFound)
{
    VirtualBoard other("other");
    VirtualBoard::Options options;
    options.pid = kOtherPid;
    ASSERT_FALSE(other.Plug(options).empty());

    std::u16string path = u"untouched";
    EXPECT_EQ(device.FindDevices(kVid, kPid, path), 0);
    EXPECT_EQ(path, u"untouched");
    EXPECT_EQ(device.FindDevices(kVid, kOtherPid, path), 1);
}

TEST_F(Discovery, TwoBoardsGiveOneThePlatformListsFirst)
{
    // Plugged in the reverse of the controllers' order, so that neither
    // plug order nor node numbers happen to agree with the enumeration.
    VirtualBoard second("second"), first("first");
    VirtualBoard::Options options;
    options.udc = "dummy_udc.1";
    std::string secondNode = second.Plug(options);
    options.udc = "dummy_udc.0";
    std::string firstNode = first.Plug(options);
    ASSERT_FALSE(secondNode.empty());
    ASSERT_FALSE(firstNode.empty());

    std::u16string listedFirst;
    for (const hid::DeviceInfo& d : hid::SystemPlatform()->Enumerate()) {
        if (d.path == Widen(firstNode) || d.path == Widen(secondNode)) {
            listedFirst = d.path;
            break;
        }
    }
    ASSERT_FALSE(listedFirst.empty()) << "the platform lists neither board";

    std::u16string path;
    EXPECT_EQ(device.FindDevices(kVid, kPid, path), 1);
    EXPECT_EQ(path, listedFirst);
}

TEST_F(Discovery, OneInstanceFollowsPlugAndUnplug)
{
    // FindDevices rescans only on a change event: a missed event would
    // leave it answering from a stale list.
    VirtualBoard board("hotplug");
    std::u16string path;
    EXPECT_EQ(device.FindDevices(kVid, kPid, path), 0);

    std::string node = board.Plug();
    ASSERT_FALSE(node.empty());
    EXPECT_TRUE(WaitUntil([&] { return device.FindDevices(kVid, kPid, path) == 1; }));
    EXPECT_EQ(path, Widen(node));

    ASSERT_TRUE(board.Unplug());
    EXPECT_TRUE(WaitUntil([&] { return device.FindDevices(kVid, kPid, path) == 0; }));

    ASSERT_FALSE(board.Replug().empty());
    EXPECT_TRUE(WaitUntil([&] { return device.FindDevices(kVid, kPid, path) == 1; }));
}

// While not connected, the console scans once a second whatever the
// platform's watch says (it may never speak). What one scan costs with a
// few devices present: shown, never judged.
TEST_F(Discovery, WhatAScanCosts)
{
    VirtualBoard a("scan-a"), b("scan-b");
    ASSERT_FALSE(a.Plug().empty());
    ASSERT_FALSE(b.Plug().empty());
    auto platform = hid::SystemPlatform();
    constexpr int kScans = 200;
    std::vector<double> wallMs;
    std::size_t listed = 0;
    timespec cpuStart{}, cpuEnd{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
    for (int i = 0; i < kScans; ++i) {
        const auto start = Clock::now();
        listed = platform->Enumerate().size();
        wallMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
    EXPECT_GE(listed, 2u);
    std::sort(wallMs.begin(), wallMs.end());
    const double cpuMs = (cpuEnd.tv_sec - cpuStart.tv_sec) * 1e3 +
                         (cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6;
    std::printf("scan of %zu HID interfaces: median %.2f ms, worst %.2f ms; %.2f ms of CPU "
                "each; once a second %.2f%% of a core\n",
                listed, wallMs[kScans / 2], wallMs.back(), cpuMs / kScans,
                cpuMs / kScans / 1000 * 100);
}

// ---- report lengths and report IDs from the board's own descriptor ------

struct LengthCase {
    int in;
    int out;
    int reportId;         // of the input and output reports; 0: none
    int featureReportId;  // a feature report's; 0: none
};

class ReportLengths : public CleanBus, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(ReportLengths, OpenLearnsThemAndTextCrossesBothWays)
{
    const LengthCase c = GetParam();
    VirtualBoard board("lengths");
    VirtualBoard::Options options;
    options.inLength = c.in;
    options.outLength = c.out;
    options.reportId = c.reportId;
    options.featureReportId = c.featureReportId;
    std::string node = board.Plug(options);
    ASSERT_FALSE(node.empty());
    ASSERT_TRUE(board.StartFirmware());

    ASSERT_EQ(device.Open(Widen(node), &owner), 1);
    EXPECT_EQ(device.InLength(), c.in);
    EXPECT_EQ(device.OutLength(), c.out);

    // The report ID, when there is one, never shows in the text; without
    // one, no character is taken for it.
    ASSERT_TRUE(board.Send({"Hello"}));
    ASSERT_TRUE(owner.WaitFor(1));
    EXPECT_EQ(owner.Texts(), std::vector<std::u16string>{u"Hello"});

    // A numbered output report goes out with its ID in front.
    EXPECT_EQ(device.SendText(u"xyz"), 1);
    Bytes expected = Report("xyz", c.out);
    if (c.reportId) expected.insert(expected.begin(), static_cast<std::uint8_t>(c.reportId));
    EXPECT_EQ(board.Received(1), std::vector<Bytes>{expected});
}

INSTANTIATE_TEST_SUITE_P(Boards, ReportLengths,
                         ::testing::Values(LengthCase{64, 64, 0, 0}, LengthCase{8, 32, 0, 0},
                                           LengthCase{32, 8, 0, 0}, LengthCase{16, 16, 3, 0},
                                           // Feature reports alone numbered.
                                           LengthCase{64, 64, 0, 1}),
                         [](const auto& info) {
                             const LengthCase& c = info.param;
                             return "in" + std::to_string(c.in) + "_out" + std::to_string(c.out) +
                                    (c.reportId ? "_id" + std::to_string(c.reportId) : "") +
                                    (c.featureReportId
                                         ? "_feature" + std::to_string(c.featureReportId)
                                         : "");
                         });

// ---- the device behind the board's node ----------------------------------

// The open of a path a scan found waits (here: is held) while the board
// leaves and another device, one this user may open as well, gets its
// node. Nothing stays open on that device, nothing is sent to it, and the
// next look scans again.
TEST_F(CleanBus, ANodeTakenByAnotherDeviceBeforeTheOpenIsLeftAlone)
{
    auto platform = std::make_shared<CHeldOpenPlatform>();
    CHidDevice held(platform);
    VirtualBoard board("ours"), other("other");
    const std::string node = board.Plug();
    ASSERT_FALSE(node.empty());
    std::u16string path;
    ASSERT_EQ(held.FindDevices(kVid, kPid, path), 1);
    ASSERT_EQ(path, Widen(node));

    platform->Hold();
    int result = -1;
    std::thread opener;
    HeldOpenRelease release{*platform, &opener};
    opener = std::thread([&] { result = held.Open(path, &owner); });
    ASSERT_TRUE(platform->WaitHeld());
    ASSERT_TRUE(board.Unplug());
    VirtualBoard::Options options;
    options.vid = 0x1209;
    options.pid = 0x0001;
    const std::string otherNode = other.Plug(options);
    ASSERT_EQ(otherNode, node) << "the other device has another node: the case shows nothing";
    ASSERT_TRUE(other.StartFirmware());
    platform->Release();
    opener.join();

    EXPECT_EQ(result, 0);
    EXPECT_EQ(held.LastOpenError(), hid::OpenError::NotFound);
    EXPECT_FALSE(held.IsOpen());
    EXPECT_EQ(held.SendText(u"secret"), 0);
    std::u16string again = u"untouched";
    EXPECT_EQ(held.FindDevices(kVid, kPid, again), 0);
    EXPECT_EQ(again, u"untouched");
    EXPECT_TRUE(other.Received(0).empty());
}

}  // namespace
