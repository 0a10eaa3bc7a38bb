// CHidDevice's connection: opening and closing, and the reader that hands
// every input report to the owner.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "hid_device_fixture.h"

using namespace hid::test;

namespace {

// ---- opening and closing ----

TEST_F(HidDeviceTest, OpenLearnsPayloadLengthsAndCloseResetsThem)
{
    OpenBoard({9, 33});
    EXPECT_TRUE(device.IsOpen());
    EXPECT_TRUE(device.IsReading());
    EXPECT_EQ(device.InLength(), 8);
    EXPECT_EQ(device.OutLength(), 32);
    EXPECT_EQ(fake->OpenHandles(), 2);

    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(device.IsReading());
    EXPECT_EQ(device.InLength(), 0);
    EXPECT_EQ(device.OutLength(), 0);
    ASSERT_TRUE(device.WaitIdle());  // the worker closes the handles
    EXPECT_EQ(fake->OpenHandles(), 0);

    device.Close();  // a second Close does nothing
    EXPECT_EQ(device.InLength(), 0);
    ASSERT_TRUE(device.WaitIdle());
    EXPECT_EQ(fake->OpenHandles(), 0);
}

TEST_F(HidDeviceTest, UnreadableDescriptorFallsBackToTheBoardsReportLength)
{
    PlugBoard({0, 0}, /*readable=*/false);
    ASSERT_EQ(device.Open(kPath, &receiver), 1);
    EXPECT_EQ(device.InLength(), CHidDevice::kFallbackReportLength - 1);
    EXPECT_EQ(device.OutLength(), CHidDevice::kFallbackReportLength - 1);
}

TEST_F(HidDeviceTest, OpenOnAnOpenConnectionClosesItFirst)
{
    OpenBoard();
    fake->Plug(FakeBoard{u"/dev/hidraw1", kBoardId});
    ASSERT_EQ(device.Open(u"/dev/hidraw1", &receiver), 1);
    ASSERT_TRUE(device.WaitIdle());
    EXPECT_EQ(fake->OpenHandles(), 2);

    fake->PushInput(kPath, {0, 'o', 'l', 'd'});
    fake->PushInput(u"/dev/hidraw1", {0, 'n', 'e', 'w'});
    ASSERT_TRUE(receiver.WaitFor(1));
    device.Close();
    EXPECT_EQ(receiver.Texts(), std::vector<std::u16string>{u"new"});
}

struct OpenFailureCase {
    const char* name;
    bool plugged;
    hid::OpenError error;  // None: no injected failure
    bool onlyOneAccess;
    hid::Access access;
    hid::OpenError expected;
};

class OpenFailure : public HidDeviceTest, public testing::WithParamInterface<OpenFailureCase> {};

TEST_P(OpenFailure, LeavesNothingOpen)
{
    const OpenFailureCase& c = GetParam();
    if (c.plugged) PlugBoard();
    if (c.onlyOneAccess)
        fake->SetOpenFails(c.error, c.access);
    else if (c.error != hid::OpenError::None)
        fake->SetOpenFails(c.error);

    EXPECT_EQ(device.Open(kPath, &receiver), 0);
    EXPECT_EQ(device.LastOpenError(), c.expected);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(device.IsReading());
    EXPECT_EQ(device.InLength(), 0);
    EXPECT_EQ(device.OutLength(), 0);
    EXPECT_EQ(device.SendText(u"x"), 0);
    EXPECT_EQ(fake->OpenHandles(), 0);

    fake->ClearOpenFails();
    if (c.plugged) {  // the next tick's retry succeeds
        EXPECT_EQ(device.Open(kPath, &receiver), 1);
        EXPECT_EQ(device.LastOpenError(), hid::OpenError::None);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, OpenFailure,
    testing::Values(
        OpenFailureCase{"NotPlugged", false, hid::OpenError::None, false, hid::Access::Read,
                        hid::OpenError::NotFound},
        OpenFailureCase{"PermissionDenied", true, hid::OpenError::PermissionDenied, false,
                        hid::Access::Read, hid::OpenError::PermissionDenied},
        OpenFailureCase{"WriteFails", true, hid::OpenError::Other, true, hid::Access::Write,
                        hid::OpenError::Other},
        // The write handle was already open: it must be closed again.
        OpenFailureCase{"ReadFailsAfterWriteOpened", true, hid::OpenError::PermissionDenied,
                        true, hid::Access::Read, hid::OpenError::PermissionDenied}),
    [](const auto& info) { return info.param.name; });

// ---- receiving ----

struct InputCase {
    const char* name;
    Report report;  // as read: report ID first
    std::u16string text;
};

class InputReport : public HidDeviceTest, public testing::WithParamInterface<InputCase> {};

TEST_P(InputReport, IsDeliveredAsText)
{
    const InputCase& c = GetParam();
    OpenBoard({static_cast<int>(std::max<std::size_t>(c.report.size(), 65)), 65});
    fake->PushInput(kPath, c.report);
    ASSERT_TRUE(receiver.WaitFor(1));
    EXPECT_EQ(receiver.Texts(), std::vector<std::u16string>{c.text});
    // The bytes go along as the board sent them, without the report ID.
    EXPECT_EQ(receiver.Bytes(), std::vector<Report>{Report(c.report.begin() + 1, c.report.end())});
}

Report Padded(Report r, std::size_t size)
{
    r.resize(size, 0);
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputReport,
    testing::Values(
        InputCase{"Hello", Padded({0, 'H', 'e', 'l', 'l', 'o'}, 65), u"Hello"},
        InputCase{"ReportIdNeverShows", {7, 'h', 'i', 0}, u"hi"},
        InputCase{"EmptyPayload", Padded({0}, 65), u""},
        InputCase{"FullPayloadWithoutTerminator", [] {
                      Report r(65, 'x');
                      r[0] = 0;
                      return r;
                  }(), std::u16string(64, u'x')},
        InputCase{"LongerThan1023", [] {
                      Report r(1101, 'y');
                      r[0] = 0;
                      return r;
                  }(), std::u16string(1100, u'y')},
        InputCase{"Utf8", {0, 0xE3, 0x81, 0x82, 0}, u"あ"},
        InputCase{"InvalidBytesBecomeReplacement", {0, 'a', 0xFF, 'b', 0}, u"a\uFFFDb"},
        InputCase{"CutSequenceAtEndBecomesReplacement", {0, 'a', 0xE3, 0x81}, u"a\uFFFD"}),
    [](const auto& info) { return info.param.name; });

// Connected and idle, the reader sleeps in one read until a report comes
// or Close wakes it: it does not wake up now and then to look.
TEST_F(HidDeviceTest, IdleReaderSleepsInOneReadUntilCloseWakesIt)
{
    OpenBoard();
    fake->PushInput(kPath, TextReport("one"));
    ASSERT_TRUE(receiver.WaitFor(1));
    const int reads = fake->ReadCalls();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(fake->ReadCalls(), reads + 1);
    device.Close();
    EXPECT_FALSE(device.IsReading());
}

TEST_F(HidDeviceTest, ReportsReachTheOwnerInOrderOnTheReaderThread)
{
    OpenBoard();
    constexpr int kReports = 640;
    for (int i = 0; i < kReports; ++i) {
        fake->PushInput(kPath, TextReport("line " + std::to_string(i)));
        if (i % 32 == 31) {
            ASSERT_TRUE(fake->WaitInputDrained(kPath)) << "reader stalled at " << i;
        }
    }
    ASSERT_TRUE(receiver.WaitFor(kReports));
    EXPECT_EQ(fake->DroppedInput(kPath), 0);
    const auto texts = receiver.Texts();
    for (int i = 0; i < kReports; ++i) {
        std::string line = "line " + std::to_string(i);
        ASSERT_EQ(texts[i], std::u16string(line.begin(), line.end()));
    }
}

TEST_F(HidDeviceTest, UnplugEndsTheReader)
{
    OpenBoard();
    for (char c = 'a'; c <= 'j'; ++c) fake->PushInput(kPath, {0, static_cast<uint8_t>(c), 0});
    ASSERT_TRUE(receiver.WaitFor(10));
    fake->Unplug(kPath);

    EXPECT_TRUE(WaitUntil([&] { return !device.IsReading(); }));
    EXPECT_EQ(receiver.Texts().size(), 10u);
    EXPECT_TRUE(device.IsOpen());  // until the poll cycle closes it
    device.Close();
    ASSERT_TRUE(device.WaitIdle());
    EXPECT_EQ(fake->OpenHandles(), 0);
}

// Close while the owner is taking a report: that hand-over completes, and
// nothing reaches the owner once Close has returned.
TEST_F(HidDeviceTest, CloseLetsTheHandOverInProgressFinish)
{
    OpenBoard();
    receiver.Hold();
    for (char c = 'a'; c <= 'e'; ++c) fake->PushInput(kPath, {0, static_cast<uint8_t>(c), 0});
    ASSERT_TRUE(WaitUntil([&] { return fake->QueuedInput(kPath) == 4; }));  // 'a' is on its way
    std::thread owner([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        receiver.Release();
    });
    device.Close();
    owner.join();
    const auto texts = receiver.Texts();
    const std::vector<std::u16string> all{u"a", u"b", u"c", u"d", u"e"};
    ASSERT_GE(texts.size(), 1u);
    EXPECT_TRUE(std::equal(texts.begin(), texts.end(), all.begin()));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(receiver.Texts().size(), texts.size());
}

}  // namespace
