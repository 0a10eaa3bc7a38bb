#include "hidraw_sysfs.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace hid::linux_sysfs {

namespace {
// Far above the kernel's own limit on a descriptor (4096 bytes).
constexpr std::size_t kMaxDescriptorSize = 65536;
}  // namespace

bool ReadReportDescriptor(const std::string& devPath, std::vector<std::uint8_t>& descriptor)
{
    struct stat st {};
    if (stat(devPath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    char sysPath[96];
    std::snprintf(sysPath, sizeof sysPath, "/sys/dev/char/%u:%u/device/report_descriptor",
                  major(st.st_rdev), minor(st.st_rdev));

    std::ifstream file(sysPath, std::ios::binary);
    if (!file) return false;
    descriptor.clear();
    char chunk[4096];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        descriptor.insert(descriptor.end(), chunk, chunk + file.gcount());
        if (descriptor.size() > kMaxDescriptorSize) return false;
    }
    return !file.bad() && !descriptor.empty();
}

}  // namespace hid::linux_sysfs
