#include "report_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

#include "descriptor_samples.h"

namespace {

class ReportLengths : public testing::TestWithParam<hid::test::DescriptorSample> {};

TEST_P(ReportLengths, MatchWhatWindowsReports)
{
    const auto& c = GetParam();
    hid::DescriptorInfo info = hid::ParseReportDescriptor(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(info.inputLength, c.input);
    EXPECT_EQ(info.outputLength, c.output);
    EXPECT_EQ(info.usesReportIds, c.reportIds);
    EXPECT_EQ(info.complete, c.complete);
    EXPECT_EQ(info.Usable(), c.input > 0 || c.output > 0);
}

INSTANTIATE_TEST_SUITE_P(Table, ReportLengths, testing::ValuesIn(hid::test::DescriptorSamples()),
                         [](const auto& info) { return info.param.name; });

// Whether hidraw puts the ID byte in front of a kind's reports (and wants
// it in front of output reports) is the kernel's decision per kind: a
// report ID anywhere does not make input reports numbered.
class ReportNumbering : public testing::TestWithParam<hid::test::DescriptorSample> {};

TEST_P(ReportNumbering, IsDecidedPerKindAsTheKernelDecides)
{
    const auto& c = GetParam();
    const hid::DescriptorInfo info = hid::ParseReportDescriptor(c.bytes.data(), c.bytes.size());
    const hid::test::Numbering got{info.inputNumbered, info.outputNumbered, info.featureNumbered,
                                   info.outputReportId};
    EXPECT_EQ(got, c.numbered) << "input " << got.input << ", output " << got.output
                               << ", feature " << got.feature << ", output ID " << got.outputId;
}

INSTANTIATE_TEST_SUITE_P(Table, ReportNumbering,
                         testing::ValuesIn(hid::test::DescriptorSamples()),
                         [](const auto& info) { return info.param.name; });

TEST(ReportLengthsLimits, AbsurdSizesAreCappedNotOverflowed)
{
    // Report Size and Report Count of 0xFFFFFFFF, three Input items.
    const std::vector<std::uint8_t> bytes = {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF,
                                             0xFF, 0xFF, 0x81, 0x00, 0x81, 0x00, 0x81, 0x00};
    hid::DescriptorInfo info = hid::ParseReportDescriptor(bytes.data(), bytes.size());
    EXPECT_TRUE(info.clamped);
    EXPECT_EQ(info.inputLength, hid::kMaxReportLength);
}

TEST(ReportLengthsLimits, DeepPushesStayBounded)
{
    std::vector<std::uint8_t> bytes(10000, 0xA4);  // Push, Push, ...
    bytes.insert(bytes.end(), {0x75, 0x08, 0x95, 0x02, 0x81, 0x00});
    hid::DescriptorInfo info = hid::ParseReportDescriptor(bytes.data(), bytes.size());
    EXPECT_FALSE(info.complete);
    EXPECT_EQ(info.inputLength, 3);
}

TEST(ReportLengthsLimits, NullDataIsEmpty)
{
    hid::DescriptorInfo info = hid::ParseReportDescriptor(nullptr, 100);
    EXPECT_FALSE(info.Usable());
}

}  // namespace
