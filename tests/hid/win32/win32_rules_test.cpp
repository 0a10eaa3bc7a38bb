// The Windows platform's decisions, on every answer the system could give:
// what a failed open means, the input buffers asked for, and which of a
// board's collections the console's portable rule (the first interface
// that matches) ends up taking.
#include <gtest/gtest.h>

#include <windows.h>

#include <setupapi.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "hid_device.h"
#include "hid_platform_win32_rules.h"

namespace {

using hid::DeviceInfo;
using hid::OpenError;
using hid::ReportLengths;
using hid::win32::AskInputBuffers;
using hid::win32::ClassifyOpenError;
using hid::win32::NamesCollection;
using hid::win32::OrderCollections;

TEST(Win32Rules, OpenErrorsMeanWhatTheConsoleShows)
{
    const struct {
        DWORD error;
        OpenError meaning;
    } cases[] = {
        {ERROR_SHARING_VIOLATION, OpenError::HeldByOther},
        {ERROR_ACCESS_DENIED, OpenError::PermissionDenied},
        {ERROR_FILE_NOT_FOUND, OpenError::NotFound},
        {ERROR_PATH_NOT_FOUND, OpenError::NotFound},
        {ERROR_DEVICE_NOT_CONNECTED, OpenError::NotFound},
        {ERROR_NO_SUCH_DEVINST, OpenError::NotFound},
        {ERROR_GEN_FAILURE, OpenError::Other},
        {ERROR_INVALID_PARAMETER, OpenError::Other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyOpenError(c.error), c.meaning) << "error " << c.error;
}

// The most the system allows, else the most it takes, never below 64.
TEST(Win32Rules, InputBuffersAskedForFromTheMostDown)
{
    const struct {
        const char* name;
        unsigned long largestTaken;  // 0: takes none
        unsigned long expected;
        std::vector<unsigned long> asked;
    } cases[] = {
        {"TakesTheMost", 512, 512, {512}},
        {"AnOlderLimit", 200, 128, {512, 256, 128}},
        {"TakesNone", 0, 0, {512, 256, 128, 64}},
    };
    for (const auto& c : cases) {
        std::vector<unsigned long> asked;
        const unsigned long got = AskInputBuffers([&](unsigned long n) {
            asked.push_back(n);
            return n <= c.largestTaken;
        });
        EXPECT_EQ(got, c.expected) << c.name;
        EXPECT_EQ(asked, c.asked) << c.name;
    }
    EXPECT_GE(hid::win32::kInputBuffers, 64u);
    EXPECT_LE(hid::win32::kInputBuffers, 512u);
}

// Byte 0 of every output report: the ID of the report the text goes into,
// the longest, whatever order the capabilities list the fields in.
TEST(Win32Rules, OutputReportIdIsTheLongestReports)
{
    using hid::win32::ReportField;
    const struct {
        const char* name;
        std::vector<ReportField> fields;
        unsigned expected;
    } cases[] = {
        {"NoFields", {}, 0},
        {"NotNumbered", {{0, 512}}, 0},
        {"OneNumbered", {{2, 512}}, 2},
        // A short status report listed first; the text's report is longer.
        {"SeveralTheLongest", {{1, 8}, {5, 512}, {3, 64}}, 5},
        // A report's fields add up: two fields of report 4 outweigh one of 7.
        {"FieldsOfOneReportAddUp", {{7, 300}, {4, 200}, {4, 200}}, 4},
        {"EqualTheLowest", {{9, 512}, {6, 512}}, 6},
        {"IdAbove255Ignored", {{0x102, 4096}, {3, 8}}, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hid::win32::OutputReportId(c.fields), c.expected) << c.name;

    // An array of 64 byte elements, with the count and without it; 16
    // variable buttons.
    EXPECT_EQ(hid::win32::ButtonFieldBits(64, 64, false), 512u);
    EXPECT_EQ(hid::win32::ButtonFieldBits(0, 64, false), 512u);
    EXPECT_EQ(hid::win32::ButtonFieldBits(0, 16, true), 16u);
}

TEST(Win32Rules, CollectionsAreToldByTheirQualifier)
{
    const struct {
        const char16_t* text;
        bool collection;
    } cases[] = {
        {u"HID\\VID_04D8&PID_003F&REV_0002&Col01", true},
        {u"HID\\VID_04D8&PID_003F&MI_00&COL0A\\2&WINE-1&0&0", true},
        {u"\\\\?\\hid#vid_04d8&pid_003f&col02#7&1a2b&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}",
         true},
        {u"HID\\VID_04D8&PID_003F&REV_0002", false},
        {u"\\\\?\\hid#vid_04d8&pid_003f&mi_00#2&wine-1&0&0#{4d1e55b2}", false},
        {u"HID\\VID_04D8&PID_003F&COLOR", false},
        {u"HID\\VID_04D8&PID_003F&Col0", false},  // cut short
        {u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NamesCollection(c.text), c.collection)
            << testing::PrintToString(std::u16string(c.text));
}

// A board with several top-level collections, as Windows lists them: the
// usable one must be the first that matches, whatever order the system
// gave. The capabilities come from a table, as the devices would give them.
struct Interface {
    const char16_t* path;
    const char16_t* hardwareId;
    std::optional<ReportLengths> lengths;  // nothing: cannot be read
};

struct ChoiceCase {
    const char* name;
    std::vector<Interface> listed;  // in the system's order
    const char16_t* chosen;         // what FindDevices takes
    std::vector<const char16_t*> order;
};

const char16_t kCol1[] = u"\\\\?\\hid#vid_04d8&pid_003f&col01#7&a&0&0000#{g}";
const char16_t kCol2[] = u"\\\\?\\hid#vid_04d8&pid_003f&col02#7&a&0&0001#{g}";
const char16_t kCol3[] = u"\\\\?\\hid#vid_04d8&pid_003f&col03#7&a&0&0002#{g}";
const char16_t kId1[] = u"HID\\VID_04D8&PID_003F&REV_0002&Col01";
const char16_t kId2[] = u"HID\\VID_04D8&PID_003F&REV_0002&Col02";
const char16_t kId3[] = u"HID\\VID_04D8&PID_003F&REV_0002&Col03";
const char16_t kOther[] = u"\\\\?\\hid#vid_845e&pid_0001#0&0000&0&0#{g}";
const char16_t kOtherId[] = u"HID\\VID_845E&PID_0001";
const char16_t kSecond1[] = u"\\\\?\\hid#vid_04d8&pid_003f&col01#7&b&0&0000#{g}";
const char16_t kSecond2[] = u"\\\\?\\hid#vid_04d8&pid_003f&col02#7&b&0&0001#{g}";

class CollectionChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(CollectionChoice, TheUsableCollectionIsTheFirstMatch)
{
    const ChoiceCase& c = GetParam();
    std::vector<DeviceInfo> list;
    std::map<std::u16string, std::optional<ReportLengths>> table;
    for (const Interface& i : c.listed) {
        list.push_back({i.path, i.hardwareId});
        table[i.path] = i.lengths;
    }
    std::vector<std::u16string> asked;
    OrderCollections(list, [&](const DeviceInfo& d) {
        asked.push_back(d.path);
        return table.at(d.path);
    });

    std::vector<std::u16string> order;
    for (const DeviceInfo& d : list) order.push_back(d.path);
    EXPECT_EQ(order, std::vector<std::u16string>(c.order.begin(), c.order.end()));
    // Only collections are opened to learn their lengths.
    for (const std::u16string& path : asked) EXPECT_TRUE(NamesCollection(path));

    // The console's own rule, unchanged, on the list as the platform gives it.
    auto fake = std::make_shared<hid::test::FakePlatform>();
    for (const DeviceInfo& d : list) fake->Plug({d.path, d.hardwareId});
    CHidDevice device(fake);
    std::u16string path;
    ASSERT_EQ(device.FindDevices(0x04D8, 0x003F, path), 1);
    EXPECT_EQ(path, c.chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CollectionChoice,
    testing::Values(
        ChoiceCase{"InputOnlyCollectionFirst",
                   {{kCol1, kId1, ReportLengths{9, 0}}, {kCol2, kId2, ReportLengths{65, 65}}},
                   kCol2,
                   {kCol2, kCol1}},
        // One data byte beside the report ID is the least that carries text.
        ChoiceCase{"ReportsOfOnlyTheReportId",
                   {{kCol1, kId1, ReportLengths{65, 1}},
                    {kCol2, kId2, ReportLengths{1, 65}},
                    {kCol3, kId3, ReportLengths{2, 2}}},
                   kCol3,
                   {kCol3, kCol1, kCol2}},
        ChoiceCase{"UsableOneAlreadyFirst",
                   {{kCol1, kId1, ReportLengths{65, 65}}, {kCol2, kId2, ReportLengths{9, 0}}},
                   kCol1,
                   {kCol1, kCol2}},
        // None carries text: the board still shows, as the system listed it.
        ChoiceCase{"NoneUsable",
                   {{kCol1, kId1, ReportLengths{9, 0}}, {kCol2, kId2, ReportLengths{0, 9}}},
                   kCol1,
                   {kCol1, kCol2}},
        // Lengths that cannot be read leave the collection to the open.
        ChoiceCase{"UnreadableKeepsItsPlace",
                   {{kCol1, kId1, std::nullopt}, {kCol2, kId2, ReportLengths{65, 65}}},
                   kCol1,
                   {kCol1, kCol2}},
        ChoiceCase{"OtherDevicesKeepTheirOrder",
                   {{kCol1, kId1, ReportLengths{9, 0}},
                    {kOther, kOtherId, std::nullopt},
                    {kCol2, kId2, ReportLengths{65, 65}}},
                   kCol2,
                   {kOther, kCol2, kCol1}},
        ChoiceCase{"TwoBoardsTheFirstOnesUsableCollection",
                   {{kCol1, kId1, ReportLengths{9, 0}},
                    {kCol2, kId2, ReportLengths{65, 65}},
                    {kSecond1, kId1, ReportLengths{9, 0}},
                    {kSecond2, kId2, ReportLengths{65, 65}}},
                   kCol2,
                   {kCol2, kSecond2, kCol1, kSecond1}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
