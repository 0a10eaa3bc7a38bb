// libFuzzer target: the report descriptor parser must take any bytes
// without reading outside them, crashing or giving nonsense lengths.
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
    return 0;
}
