// libFuzzer target: the report descriptor parser must take any bytes
// without reading outside them, crashing or giving nonsense lengths, and
// number a kind only where a Report ID made it so.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "report_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const hid::DescriptorInfo info = hid::ParseReportDescriptor(data, size);
    for (int length : {info.inputLength, info.outputLength, info.featureLength}) {
        if (length < 0 || length > hid::kMaxReportLength || length == 1) std::abort();
    }
    const bool anyNumbered = info.inputNumbered || info.outputNumbered || info.featureNumbered;
    if (anyNumbered && !info.usesReportIds) std::abort();
    if (info.outputReportId != 0 && !info.outputNumbered) std::abort();
    return 0;
}
