// Linux: what sysfs tells about a hidraw node that hidapi 0.13 does not.
//
// A node is read from its sysfs folder, which is found either from the
// list of nodes (/sys/class/hidraw/hidrawN) or from an open descriptor
// (/sys/dev/char/M:m, from its device number). The second is the one to
// trust after an open: while a descriptor is open, the kernel gives its
// number to no other device, so the folder is that of the device the
// descriptor is on, or gone with it.
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
    // The HID device's own sysfs folder (".../0003:04D8:003F.0007"): its
    // sequence number is new each time a device is plugged in, so this
    // tells one plugging-in apart from any other.
    std::string instance;
};

// Every hidraw node, ordered by its sysfs device path as text (the order
// udev's enumeration gives). A node that vanishes while it is being read
// is left out; nothing here fails on a half-gone device.
std::vector<HidrawNode> ListHidrawNodes();

// The sysfs folder of the hidraw node open at `fd`, or "" when the
// descriptor is no hidraw node.
std::string HidrawDirOf(int fd);

// Reads the node whose sysfs folder is `dir`; false when it has gone (or
// is no HID device's node).
bool ReadNode(const std::string& dir, HidrawNode& node);

// The report descriptor of the device whose hidraw folder is `dir`. False
// when it cannot be read.
bool ReadReportDescriptor(const std::string& dir, std::vector<std::uint8_t>& descriptor);

}  // namespace hid::linux_sysfs
