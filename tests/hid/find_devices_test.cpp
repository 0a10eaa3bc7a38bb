#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "fake_platform.h"
#include "hid_device.h"

using hid::test::FakeBoard;
using hid::test::FakePlatform;

namespace {

constexpr int kVid = 0x04D8;
constexpr int kPid = 0x003F;

struct MatchCase {
    const char* name;
    std::vector<std::u16string> hardwareIds;  // boards in enumeration order
    int found;                                // expected count
    std::u16string path;                      // expected path when found
};

std::u16string PathOf(std::size_t i) { return u"/dev/hidraw" + std::u16string(1, u'0' + i); }

class FindDevicesMatch : public testing::TestWithParam<MatchCase> {};

TEST_P(FindDevicesMatch, FindsFirstBoardWhoseFirstHardwareIdHoldsThePattern)
{
    const MatchCase& c = GetParam();
    auto fake = std::make_shared<FakePlatform>();
    for (std::size_t i = 0; i < c.hardwareIds.size(); ++i)
        fake->Plug(FakeBoard{PathOf(i), c.hardwareIds[i]});
    CHidDevice device(fake);

    std::u16string path = u"untouched";
    EXPECT_EQ(device.FindDevices(kVid, kPid, path), c.found);
    EXPECT_EQ(path, c.found ? c.path : u"untouched");
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Table, FindDevicesMatch,
    testing::Values(
        MatchCase{"NoDevice", {}, 0, u""},
        MatchCase{"UpperCaseId", {u"HID\\VID_04D8&PID_003F&REV_0002"}, 1, PathOf(0)},
        MatchCase{"LowerCaseId", {u"hid\\vid_04d8&pid_003f&rev_0002"}, 1, PathOf(0)},
        MatchCase{"TrailingQualifiers", {u"HID\\VID_04D8&PID_003F&REV_0002&MI_00&Col01"}, 1,
                  PathOf(0)},
        MatchCase{"OtherProduct", {u"HID\\VID_04D8&PID_003E&REV_0002"}, 0, u""},
        MatchCase{"OtherVendor", {u"HID\\VID_04D9&PID_003F&REV_0002"}, 0, u""},
        MatchCase{"AfterOtherDevices",
                  {u"HID\\VID_046D&PID_C52B&REV_1211", u"HID\\VID_04D8&PID_003F&REV_0002"}, 1,
                  PathOf(1)},
        MatchCase{"FirstOfTwo",
                  {u"HID\\VID_04D8&PID_003F&REV_0002", u"HID\\VID_04D8&PID_003F&REV_0003"}, 1,
                  PathOf(0)},
        // A multi-string ID: only the string before the first NUL counts.
        MatchCase{"OnlyInSecondString",
                  {u"HID\\VID_1234&PID_0001\0HID\\VID_04D8&PID_003F"s}, 0, u""},
        MatchCase{"InFirstString", {u"HID\\VID_04D8&PID_003F\0HID\\VID_1234&PID_0001"s}, 1,
                  PathOf(0)},
        MatchCase{"EmptyId", {u""}, 0, u""}),
    [](const testing::TestParamInfo<MatchCase>& info) { return info.param.name; });

TEST(FindDevices, FormatsThePatternFromTheArguments)
{
    auto fake = std::make_shared<FakePlatform>();
    fake->Plug(FakeBoard{u"/dev/hidraw0", u"HID\\VID_ABCD&PID_0012&REV_0100"});
    CHidDevice device(fake);
    std::u16string path;
    EXPECT_EQ(device.FindDevices(0xABCD, 0x12, path), 1);
    EXPECT_EQ(device.FindDevices(0xABCD, 0x120, path), 0);
}

// FindDevices runs every 50 ms; the scan must only repeat after a change,
// and its answer must still follow every plug and unplug.
TEST(FindDevices, ScansAgainOnlyAfterAChange)
{
    auto fake = std::make_shared<FakePlatform>();
    CHidDevice device(fake);
    std::u16string path;

    EXPECT_EQ(device.FindDevices(kVid, kPid, path), 0);
    EXPECT_EQ(device.FindDevices(kVid, kPid, path), 0);
    EXPECT_EQ(fake->EnumerateCount(), 1);

    fake->Plug(FakeBoard{u"/dev/hidraw4", u"HID\\VID_04D8&PID_003F&REV_0002"});
    EXPECT_EQ(device.FindDevices(kVid, kPid, path), 1);
    EXPECT_EQ(path, u"/dev/hidraw4");
    for (int i = 0; i < 10; ++i) device.FindDevices(kVid, kPid, path);
    EXPECT_EQ(fake->EnumerateCount(), 2);

    fake->Unplug(u"/dev/hidraw4");
    path.clear();
    EXPECT_EQ(device.FindDevices(kVid, kPid, path), 0);
    EXPECT_EQ(path, u"");
    EXPECT_EQ(fake->EnumerateCount(), 3);
}

TEST(FindDevices, ScansEveryTimeWhenThePlatformCannotTellChanges)
{
    auto fake = std::make_shared<FakePlatform>();
    fake->SetCanTellChanges(false);
    fake->Plug(FakeBoard{u"/dev/hidraw0", u"HID\\VID_04D8&PID_003F&REV_0002"});
    CHidDevice device(fake);
    std::u16string path;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(device.FindDevices(kVid, kPid, path), 1);
    EXPECT_EQ(fake->EnumerateCount(), 3);
}

}  // namespace
