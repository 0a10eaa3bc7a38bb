// Output reports through CHidDevice's writer: their form, and a board that
// fails or stops taking them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "hid_device_fixture.h"

using namespace hid::test;

namespace {

struct OutputCase {
    const char* name;
    std::u16string text;
    int reportLength;
    Report payload;  // expected bytes after the report ID; zeros follow
    std::uint8_t reportId = 0;  // the platform's ID of numbered output reports
};

class OutputReport : public HidDeviceTest, public testing::WithParamInterface<OutputCase> {};

TEST_P(OutputReport, IsReportIdTextTerminatorAndZeroFill)
{
    const OutputCase& c = GetParam();
    OpenBoard({65, c.reportLength, c.reportId});
    ASSERT_EQ(device.SendText(c.text), 1);

    Report expected(c.reportLength, 0);
    expected[0] = c.reportId;
    std::copy(c.payload.begin(), c.payload.end(), expected.begin() + 1);
    const auto written = fake->Written(kPath);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], expected);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Table, OutputReport,
    testing::Values(
        OutputCase{"Boot", u"Boot", 65, {0x42, 0x6F, 0x6F, 0x74}},
        OutputCase{"Empty", u"", 65, {}},
        OutputCase{"FillsPayloadWithTerminator", u"abcdef", 8, {'a', 'b', 'c', 'd', 'e', 'f'}},
        OutputCase{"CutToLeaveRoomForTerminator", u"abcdefg", 8,
                   {'a', 'b', 'c', 'd', 'e', 'f'}},
        // "aあい" is 7 bytes in UTF-8; with its terminator it needs 8, the
        // payload has 7: "い" goes whole, never a part of it.
        OutputCase{"MultibyteCutAtWholeCharacter", u"aあい", 8, {'a', 0xE3, 0x81, 0x82}},
        OutputCase{"StopsAtEmbeddedNul", u"ab\0cd"s, 65, {'a', 'b'}},
        OutputCase{"LongerThan1023", std::u16string(2000, u'z'), 2049,
                   Report(2000, 'z')},
        // The kernel sends a first byte other than 0 as the report's ID.
        OutputCase{"NumberedOutputLeadsWithItsId", u"Boot", 65, {0x42, 0x6F, 0x6F, 0x74}, 5}),
    [](const auto& info) { return info.param.name; });

TEST_F(HidDeviceTest, SendTextWritesNothingWhenClosed)
{
    PlugBoard();
    EXPECT_EQ(device.SendText(u"Boot"), 0);
    ASSERT_EQ(device.Open(kPath, &receiver), 1);
    device.Close();
    EXPECT_EQ(device.SendText(u"Boot"), 0);
    EXPECT_TRUE(fake->Written(kPath).empty());
}

TEST_F(HidDeviceTest, SendTextWritesNothingWithoutAnOutputReport)
{
    OpenBoard({65, 0});
    EXPECT_EQ(device.OutLength(), 0);
    EXPECT_EQ(device.SendText(u"Boot"), 0);
    EXPECT_TRUE(fake->Written(kPath).empty());
}

TEST_F(HidDeviceTest, FailedWriteIsReportedAsFailure)
{
    OpenBoard();
    fake->SetWriteFails(true);
    EXPECT_EQ(device.SendText(u"Boot"), 0);
    fake->SetWriteFails(false);
    EXPECT_EQ(device.SendText(u"Boot"), 1);
}

// A board that stops reading holds a write for seconds; the caller (the
// user-interface thread) must get its answer at once, and quitting must
// not wait for the stuck write.
TEST_F(HidDeviceTest, StalledBoardFailsSendsAndDoesNotHoldClose)
{
    device.SetSendWaitMs(CHidDevice::kSendWaitMs);
    OpenBoard();
    fake->SetWriteStalls(true);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.SendText(u"line"), 0);
    ASSERT_TRUE(WaitUntil([&] { return fake->StalledWrites() == 1; }));
    // The queue behind the stuck write fills; then SendText fails at once.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(device.SendText(u"line"), 0);
    device.Close();
    // The fake's write stays stuck until released: had Close waited for
    // it, the test would not get here. The time is shown, not judged.
    std::printf("sends and close with a stalled write: %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - start)
                                           .count()));
    // Closing any hidraw node waits for a write in progress, so both
    // handles are closed by the abandoned writer when its write returns.
    EXPECT_EQ(fake->OpenHandles(), 2);
    EXPECT_FALSE(device.IsOpen());

    // Reports queued behind the stuck one were dropped by Close.
    fake->SetWriteStalls(false);
    EXPECT_TRUE(WaitUntil([&] { return fake->OpenHandles() == 0; }));
    EXPECT_EQ(fake->Written(kPath).size(), 1u);

    ASSERT_EQ(device.Open(kPath, &receiver), 1);
    device.SetSendWaitMs(10000);
    EXPECT_EQ(device.SendText(u"again"), 1);
}

TEST_F(HidDeviceTest, UnpluggedBoardReleasesAStalledWrite)
{
    device.SetSendWaitMs(CHidDevice::kSendWaitMs);
    OpenBoard();
    fake->SetWriteStalls(true);
    EXPECT_EQ(device.SendText(u"line"), 0);
    ASSERT_TRUE(WaitUntil([&] { return fake->StalledWrites() == 1; }));
    fake->Unplug(kPath);
    EXPECT_TRUE(WaitUntil([&] { return fake->StalledWrites() == 0; }));
    EXPECT_EQ(device.SendText(u"line"), 0);
    device.Close();
    EXPECT_TRUE(WaitUntil([&] { return fake->OpenHandles() == 0; }));
    EXPECT_TRUE(fake->Written(kPath).empty());
}

}  // namespace
