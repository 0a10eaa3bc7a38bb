// One connection, and the board going away, on the guest kernel's real USB HID stack: CHidDevice with
// the system platform (hidapi, hidraw, udev) against the virtual board.
// Runs inside the rig's VM (tests/e2e/run_cases.py).
#include "device_access.h"

namespace {

using namespace device_access;

// ---- one connection to a 64/64 board whose firmware records -------------

class Connection : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        VirtualBoard::RemoveAll();
        s_board = new VirtualBoard("conn");
        s_node = s_board->Plug();
        if (!s_node.empty() && !s_board->StartFirmware()) s_node.clear();
    }
    static void TearDownTestSuite()
    {
        delete s_board;
        s_board = nullptr;
    }
    void SetUp() override
    {
        ASSERT_FALSE(s_node.empty()) << "the board could not be set up";
        ASSERT_TRUE(s_board->ClearReceived());
        device.SetSendWaitMs(kPatientSendMs);
        // Opened before the board sends: the host drops what comes first.
        ASSERT_EQ(device.Open(Widen(s_node), &owner), 1);
    }

    static inline VirtualBoard* s_board = nullptr;
    static inline std::string s_node;
    RecordingReceiver owner;
    CHidDevice device;
};

struct SendCase {
    const char* name;
    std::u16string text;
    std::string payload;  // what the board must read, before the zero fill
};

class SendText : public Connection, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendText, ArrivesAsExactlyOneZeroFilledReport)
{
    const SendCase& c = GetParam();
    EXPECT_EQ(device.SendText(c.text), 1);
    // A marker after it: anything the text produced arrives before it.
    EXPECT_EQ(device.SendText(u"end"), 1);
    EXPECT_EQ(s_board->Received(2),
              (std::vector<Bytes>{Report(c.payload, 64), Report("end", 64)}));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SendText,
    ::testing::Values(SendCase{"Boot", u"Boot", "Boot"}, SendCase{"Empty", u"", ""},
                      // 63 bytes and the terminator fill the 64-byte report.
                      SendCase{"TooLong", std::u16string(70, u'x'), std::string(63, 'x')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Connection, InputReportsArriveAsTheirText)
{
    const std::string full(64, 'A');  // no terminator inside the report
    ASSERT_TRUE(s_board->SendRaw({Report("Hello", 64), Bytes(full.begin(), full.end()),
                                  Report(std::string("Hi\0junk", 7), 64)}));
    ASSERT_TRUE(owner.WaitFor(3));
    EXPECT_EQ(owner.Texts(),
              (std::vector<std::u16string>{u"Hello", std::u16string(64, u'A'), u"Hi"}));
}

// The board writes as fast as the host takes its reports, and hidraw keeps
// 64 unread reports per open handle and drops newer ones: a reader slowed
// by a busy machine or a sanitizer can fall behind. Judged: every line
// arrives once and in order, and the first 64, which always fit the queue,
// all arrive. How many of the rest arrived is printed; the benchmark judges
// loss at the board's full rate.
TEST_F(Connection, ABurstArrivesInOrderOnceEachAndItsHeadComplete)
{
    constexpr int kCount = 1000;
    constexpr int kQueue = 64;
    auto took = Elapsed([&] { ASSERT_TRUE(s_board->Burst(kCount)); });
    owner.WaitFor(kCount, 30000);  // a shortfall is judged below
    const auto texts = owner.Texts();
    ASSERT_GE(texts.size(), std::size_t(kQueue)) << texts.size() << " arrived";
    long last = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const long n = std::stol(std::string(texts[i].begin(), texts[i].end()));
        if (i < std::size_t(kQueue)) {
            ASSERT_EQ(n, long(i) + 1) << "one of the first " << kQueue << " lines is missing";
        }
        ASSERT_GT(n, last) << "out of order or twice";
        ASSERT_LE(n, kCount);
        last = n;
    }
    std::printf("burst: %d reports written in %lld ms, %zu arrived\n", kCount,
                static_cast<long long>(took.count()), texts.size());
}

// ---- the board goes away ----------------------------------------------

using Hotplug = CleanBus;

TEST_F(Hotplug, UnplugEndsTheReaderAndCloseReturnsAtOnce)
{
    VirtualBoard board("gone");
    std::string node = board.Plug();
    ASSERT_FALSE(node.empty());
    ASSERT_EQ(device.Open(Widen(node), &owner), 1);
    ASSERT_TRUE(device.IsReading());

    ASSERT_TRUE(board.Unplug());
    EXPECT_TRUE(WaitUntil([&] { return !device.IsReading(); }))
        << "the reader did not notice the board is gone";
    int sent = -1;
    ShowTime("SendText after the unplug", [&] { sent = device.SendText(u"lost"); });
    EXPECT_EQ(sent, 0);
    ShowTime("Close after the unplug", [&] { device.Close(); });
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.InLength(), 0);
    EXPECT_EQ(device.OutLength(), 0);
}

TEST_F(Hotplug, ReplugGivesANewPathThatOpens)
{
    VirtualBoard board("back");
    std::string node = board.Plug();
    ASSERT_FALSE(node.empty());
    ASSERT_EQ(device.Open(Widen(node), &owner), 1);
    ASSERT_TRUE(board.Unplug());
    ASSERT_TRUE(WaitUntil([&] { return !device.IsReading(); }));

    // The old connection is still open, as the console holds it until its
    // next look: the kernel gives the board another node.
    std::string newNode = board.Replug();
    ASSERT_FALSE(newNode.empty());
    std::u16string path;
    ASSERT_TRUE(WaitUntil([&] { return device.FindDevices(kVid, kPid, path) == 1; }));
    EXPECT_EQ(path, Widen(newNode));
    EXPECT_NE(path, Widen(node));
    ASSERT_EQ(device.Open(path, &owner), 1);

    ASSERT_TRUE(board.Send({"again"}));
    ASSERT_TRUE(owner.WaitFor(1));
    EXPECT_EQ(owner.Texts(), std::vector<std::u16string>{u"again"});
}

TEST_F(Hotplug, BootSendsTheBoardToItsBootloader)
{
    VirtualBoard board("boot");
    std::string node = board.Plug();
    ASSERT_FALSE(node.empty());
    ASSERT_TRUE(board.StartFirmware(false, kBootloaderPid));
    ASSERT_EQ(device.Open(Widen(node), &owner), 1);

    EXPECT_EQ(device.SendText(u"Boot"), 1);
    EXPECT_TRUE(WaitUntil([&] { return !device.IsReading(); }));
    std::u16string path;
    EXPECT_TRUE(WaitUntil([&] { return device.FindDevices(kVid, kBootloaderPid, path) == 1; }));
    std::u16string stale = u"untouched";
    EXPECT_EQ(device.FindDevices(kVid, kPid, stale), 0);
    EXPECT_EQ(board.Received(1), std::vector<Bytes>{Report("Boot", 64)});
}

// ---- a board that stops taking reports ------------------------------------

TEST_F(Hotplug, AStalledBoardCostsTheCallerLittleAndFailsOpenly)
{
    VirtualBoard board("stalled");  // no firmware: it never reads
    std::string node = board.Plug();
    ASSERT_FALSE(node.empty());
    device.SetSendWaitMs(CHidDevice::kSendWaitMs);  // the bound the console runs with
    ASSERT_EQ(device.Open(Widen(node), &owner), 1);

    // The gadget holds a few reports; after that every write would block
    // for seconds in the kernel.
    std::vector<std::string> texts;
    std::vector<int> results;
    for (int i = 1; i <= 8; ++i) {
        texts.push_back("s" + std::to_string(i));
        int result = -1;
        auto took = Elapsed([&] { result = device.SendText(Widen(texts.back())); });
        results.push_back(result);
        std::printf("SendText %d on a stalled board: %d after %lld ms (bound %d ms)\n", i, result,
                    static_cast<long long>(took.count()), CHidDevice::kSendWaitMs);
    }
    EXPECT_EQ(results.back(), 0) << "a report the board never took was claimed as sent";
    ShowTime("Close with a stalled write", [&] { device.Close(); });

    // Every report claimed as sent reaches the board once it reads again.
    ASSERT_TRUE(board.StartFirmware());
    int claimed = 0;
    for (int r : results) claimed += r == 1;
    auto received = board.Received(claimed);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (results[i] != 1) continue;
        bool found = false;
        for (const Bytes& r : received) found = found || r == Report(texts[i], 64);
        EXPECT_TRUE(found) << texts[i] << " was claimed as sent but never arrived";
    }

    // And the board is usable again.
    std::u16string path;
    ASSERT_TRUE(WaitUntil([&] { return device.FindDevices(kVid, kPid, path) == 1; }));
    ASSERT_EQ(device.Open(path, &owner), 1);
    device.SetSendWaitMs(kPatientSendMs);
    EXPECT_EQ(device.SendText(u"after"), 1);
}

}  // namespace
