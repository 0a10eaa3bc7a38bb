// Linux: what sysfs tells about a hidraw node that hidapi 0.13 does not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hid::linux_sysfs {

// True when `devPath` names a hidraw character device. hidapi 0.13 crashes
// when asked to open anything else, so this is checked first.
bool IsHidrawNode(const std::string& devPath);

// One hidraw node as sysfs describes it.
struct HidrawNode {
    std::string devPath;  // "/dev/hidraw3"
    unsigned vendor = 0, product = 0, release = 0;
};

// Every hidraw node, ordered by its sysfs device path as text (the order
// udev's enumeration gives). A node that vanishes while it is being read
// is left out; nothing here fails on a half-gone device.
std::vector<HidrawNode> ListHidrawNodes();

// The report descriptor of the device behind the hidraw node at `devPath`
// (any name of the node: it is found by its device number). False when the
// node or its descriptor cannot be read.
bool ReadReportDescriptor(const std::string& devPath, std::vector<std::uint8_t>& descriptor);

}  // namespace hid::linux_sysfs
