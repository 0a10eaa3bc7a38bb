#include "report_descriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace hid {

namespace {

constexpr std::uint64_t kMaxReportBits = static_cast<std::uint64_t>(kMaxReportLength - 1) * 8;
// Deep enough for any real descriptor; a deeper one is a malformed one.
constexpr std::size_t kMaxPushDepth = 64;

// Item types (bits 3-2 of the prefix) and the tags used here.
enum : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };
enum : std::uint8_t { kInput = 0x8, kOutput = 0x9, kFeature = 0xB };
enum : std::uint8_t { kReportSize = 0x7, kReportId = 0x8, kReportCount = 0x9,
                      kPush = 0xA, kPop = 0xB };
constexpr std::uint8_t kLongItemPrefix = 0xFE;

struct Globals {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

int LongestReport(const std::map<std::uint32_t, std::uint64_t>& bitsById, bool& clamped)
{
    std::uint64_t longest = 0;
    for (const auto& [id, bits] : bitsById) longest = std::max(longest, bits);
    if (longest == 0) return 0;  // only empty items: no report of this kind
    if (longest > kMaxReportBits) {
        clamped = true;
        longest = kMaxReportBits;
    }
    return static_cast<int>((longest + 7) / 8) + 1;
}

// The kernel numbers a kind once one of its main items stands under an ID
// other than 0, even an item of no bits.
bool Numbered(const std::map<std::uint32_t, std::uint64_t>& bitsById)
{
    return !bitsById.empty() && bitsById.rbegin()->first != 0;
}

// The ID an output report is written with: the longest numbered report's,
// the lowest of equals. IDs above 255 cannot be written (the kernel refuses
// such a descriptor anyway).
std::uint8_t OutputReportId(const std::map<std::uint32_t, std::uint64_t>& bitsById)
{
    std::uint32_t id = 0;
    std::uint64_t longest = 0;
    for (const auto& [reportId, bits] : bitsById) {
        if (reportId == 0 || reportId > 0xFF) continue;
        if (id == 0 || bits > longest) {
            id = reportId;
            longest = bits;
        }
    }
    return static_cast<std::uint8_t>(id);
}

}  // namespace

DescriptorInfo ParseReportDescriptor(const std::uint8_t* data, std::size_t size)
{
    DescriptorInfo info;
    if (!data) size = 0;

    Globals globals;
    std::vector<Globals> stack;
    std::map<std::uint32_t, std::uint64_t> bits[3];  // input, output, feature

    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t prefix = data[i];
        if (prefix == kLongItemPrefix) {
            // Long item: prefix, data size, tag, data. Nothing defined uses them.
            if (size - i < 3 || size - i - 3 < data[i + 1]) {
                info.complete = false;
                break;
            }
            i += 3 + static_cast<std::size_t>(data[i + 1]);
            continue;
        }
        static constexpr std::size_t kDataSize[4] = {0, 1, 2, 4};
        const std::size_t dataSize = kDataSize[prefix & 0x3];
        if (size - i - 1 < dataSize) {
            info.complete = false;
            break;
        }
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < dataSize; ++k)
            value |= static_cast<std::uint32_t>(data[i + 1 + k]) << (8 * k);
        i += 1 + dataSize;

        const std::uint8_t type = (prefix >> 2) & 0x3;
        const std::uint8_t tag = prefix >> 4;
        if (type == kMain) {
            int kind = tag == kInput ? 0 : tag == kOutput ? 1 : tag == kFeature ? 2 : -1;
            if (kind < 0) continue;
            // 32 x 32 bits fit in 64; the sum saturates just above the cap.
            std::uint64_t& total = bits[kind][globals.reportId];
            total += static_cast<std::uint64_t>(globals.reportSize) * globals.reportCount;
            total = std::min(total, kMaxReportBits + 1);
        } else if (type == kGlobal) {
            switch (tag) {
            case kReportSize: globals.reportSize = value; break;
            case kReportCount: globals.reportCount = value; break;
            case kReportId:
                globals.reportId = value;
                info.usesReportIds = true;
                break;
            case kPush:
                if (stack.size() < kMaxPushDepth)
                    stack.push_back(globals);
                else
                    info.complete = false;
                break;
            case kPop:
                if (!stack.empty()) {
                    globals = stack.back();
                    stack.pop_back();
                } else {
                    info.complete = false;
                }
                break;
            default: break;
            }
        }
    }

    info.inputLength = LongestReport(bits[0], info.clamped);
    info.outputLength = LongestReport(bits[1], info.clamped);
    info.featureLength = LongestReport(bits[2], info.clamped);
    info.inputNumbered = Numbered(bits[0]);
    info.outputNumbered = Numbered(bits[1]);
    info.featureNumbered = Numbered(bits[2]);
    info.outputReportId = info.outputNumbered ? OutputReportId(bits[1]) : 0;
    return info;
}

}  // namespace hid
