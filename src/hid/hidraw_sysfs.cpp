#include "hidraw_sysfs.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace hid::linux_sysfs {

namespace {
// Far above the kernel's own limit on a descriptor (4096 bytes).
constexpr std::size_t kMaxDescriptorSize = 65536;

// The sysfs folder of the character device at devPath, or "".
std::string SysfsDir(const std::string& devPath)
{
    struct stat st {};
    if (stat(devPath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    char dir[64];
    std::snprintf(dir, sizeof dir, "/sys/dev/char/%u:%u", major(st.st_rdev), minor(st.st_rdev));
    return dir;
}

}  // namespace

bool IsHidrawNode(const std::string& devPath)
{
    const std::string dir = SysfsDir(devPath);
    if (dir.empty()) return false;
    char link[256];
    ssize_t n = readlink((dir + "/subsystem").c_str(), link, sizeof link - 1);
    if (n <= 0) return false;
    const std::string target(link, static_cast<std::size_t>(n));
    const std::string name = target.substr(target.find_last_of('/') + 1);
    return name == "hidraw";
}

bool ReadReportDescriptor(const std::string& devPath, std::vector<std::uint8_t>& descriptor)
{
    const std::string dir = SysfsDir(devPath);
    if (dir.empty()) return false;
    const std::string sysPath = dir + "/device/report_descriptor";

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
