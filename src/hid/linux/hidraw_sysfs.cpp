#include "hidraw_sysfs.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>

namespace hid::linux_sysfs {

namespace {
// Far above the kernel's own limit on a descriptor (4096 bytes).
constexpr std::size_t kMaxDescriptorSize = 65536;

std::string CharDeviceDir(dev_t rdev)
{
    char dir[64];
    std::snprintf(dir, sizeof dir, "/sys/dev/char/%u:%u", major(rdev), minor(rdev));
    return dir;
}

bool IsHidrawDir(const std::string& dir)
{
    char link[256];
    const ssize_t n = readlink((dir + "/subsystem").c_str(), link, sizeof link - 1);
    if (n <= 0) return false;
    const std::string target(link, static_cast<std::size_t>(n));
    return target.substr(target.find_last_of('/') + 1) == "hidraw";
}

std::string FirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

bool ReadNode(const std::string& dir, HidrawNode& node)
{
    node = HidrawNode{};
    char real[PATH_MAX];
    if (!realpath((dir + "/device").c_str(), real)) return false;
    // HID_ID=BBBB:VVVVVVVV:PPPPPPPP, in the HID device's uevent.
    std::ifstream uevent(dir + "/device/uevent");
    bool ids = false;
    for (std::string line; std::getline(uevent, line);) {
        unsigned bus = 0;
        if (std::sscanf(line.c_str(), "HID_ID=%x:%x:%x", &bus, &node.vendor, &node.product) == 3) {
            ids = true;
            break;
        }
    }
    // DEVNAME=hidraw3, in the node's own.
    std::ifstream own(dir + "/uevent");
    for (std::string line; std::getline(own, line);) {
        if (line.rfind("DEVNAME=", 0) == 0) {
            node.devPath = "/dev/" + line.substr(8);
            break;
        }
    }
    if (!ids || node.devPath.size() <= 5) return false;
    node.instance = real;
    // The release is the USB device's bcdDevice, a few levels above the
    // HID device; other buses have none.
    std::string up = node.instance;
    for (int level = 0; level < 5; ++level) {
        up += "/..";
        const std::string bcd = FirstLine(up + "/bcdDevice");
        if (!bcd.empty()) {
            node.release = static_cast<unsigned>(std::strtoul(bcd.c_str(), nullptr, 16));
            break;
        }
    }
    return true;
}

std::vector<HidrawNode> ListHidrawNodes()
{
    std::vector<std::pair<std::string, HidrawNode>> found;  // (sysfs path, node)
    DIR* dir = opendir("/sys/class/hidraw");
    if (!dir) return {};
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.rfind("hidraw", 0) != 0) continue;
        const std::string classPath = "/sys/class/hidraw/" + name;
        char real[PATH_MAX];
        if (!realpath(classPath.c_str(), real)) continue;
        HidrawNode node;
        if (!ReadNode(classPath, node)) continue;
        found.emplace_back(real, std::move(node));
    }
    closedir(dir);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<HidrawNode> nodes;
    for (auto& f : found) nodes.push_back(std::move(f.second));
    return nodes;
}

bool IsHidrawNode(const std::string& devPath)
{
    struct stat st {};
    if (stat(devPath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    return IsHidrawDir(CharDeviceDir(st.st_rdev));
}

std::string HidrawDirOf(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    std::string dir = CharDeviceDir(st.st_rdev);
    return IsHidrawDir(dir) ? dir : std::string();
}

bool ReadReportDescriptor(const std::string& dir, std::vector<std::uint8_t>& descriptor)
{
    std::ifstream file(dir + "/device/report_descriptor", std::ios::binary);
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
