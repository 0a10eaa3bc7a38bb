// What the Linux platform reads of a hidraw node's sysfs folder, on a
// folder tree laid out as the kernel lays out sysfs: a hidraw node under
// its HID device, under the USB interface and device (which has the
// release). The rig meets the real sysfs; here each file can be missing
// or odd.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hidraw_sysfs.h"

namespace fs = std::filesystem;
using hid::linux_sysfs::HidrawNode;
using hid::linux_sysfs::ReadNode;
using hid::linux_sysfs::ReadReportDescriptor;

namespace {

void Write(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// devices/usb1/1-1 (the USB device) / 1-1:1.0 (its interface) /
// 0003:04D8:003F.0007 (the HID device) / hidraw/hidraw3 (the node).
class SysfsTree : public ::testing::Test {
public:
    fs::path m_root = fs::temp_directory_path() /
                      ("wendrel-sysfs-" + std::to_string(getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path m_usb = m_root / "devices/usb1/1-1";
    fs::path m_hid = m_usb / "1-1:1.0/0003:04D8:003F.0007";
    fs::path m_node = m_hid / "hidraw/hidraw3";

    void SetUp() override
    {
        fs::remove_all(m_root);
        Write(m_usb / "bcdDevice", "0002\n");
        Write(m_hid / "uevent",
              "DRIVER=hid-generic\nHID_ID=0003:000004D8:0000003F\nHID_NAME=Board\n");
        Write(m_node / "uevent", "MAJOR=243\nMINOR=3\nDEVNAME=hidraw3\n");
        fs::create_directory_symlink("../..", m_node / "device");
    }

    void TearDown() override { fs::remove_all(m_root); }
};

TEST_F(SysfsTree, ReadsTheNodeOfAUsbBoard)
{
    HidrawNode node;
    ASSERT_TRUE(ReadNode(m_node.string(), node));
    EXPECT_EQ(node.devPath, "/dev/hidraw3");
    EXPECT_EQ(node.vendor, 0x04D8u);
    EXPECT_EQ(node.product, 0x003Fu);
    EXPECT_EQ(node.release, 0x0002u);
    EXPECT_EQ(node.instance, fs::canonical(m_hid).string());
}

TEST_F(SysfsTree, ABusWithoutReleaseReadsAsReleaseZero)
{
    fs::remove(m_usb / "bcdDevice");
    HidrawNode node;
    ASSERT_TRUE(ReadNode(m_node.string(), node));
    EXPECT_EQ(node.release, 0u);
    EXPECT_EQ(node.vendor, 0x04D8u);
}

// A node half gone or not a HID device's is not read (its caller leaves it
// out of the list).
TEST_F(SysfsTree, AnIncompleteNodeIsNotRead)
{
    struct Case {
        const char* what;
        void (*spoil)(const SysfsTree&);
    };
    const Case cases[] = {
        {"the device link gone", [](const SysfsTree& t) { fs::remove(t.m_node / "device"); }},
        {"the HID device's uevent gone", [](const SysfsTree& t) { fs::remove(t.m_hid / "uevent"); }},
        {"no HID_ID", [](const SysfsTree& t) { Write(t.m_hid / "uevent", "DRIVER=hid-generic\n"); }},
        {"a malformed HID_ID",
         [](const SysfsTree& t) { Write(t.m_hid / "uevent", "HID_ID=0003:04D8\n"); }},
        {"the node's uevent gone", [](const SysfsTree& t) { fs::remove(t.m_node / "uevent"); }},
        {"no DEVNAME", [](const SysfsTree& t) { Write(t.m_node / "uevent", "MAJOR=243\n"); }},
        {"an empty DEVNAME", [](const SysfsTree& t) { Write(t.m_node / "uevent", "DEVNAME=\n"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.spoil(*this);
        HidrawNode node;
        EXPECT_FALSE(ReadNode(m_node.string(), node));
    }
}

TEST_F(SysfsTree, ReportDescriptor)
{
    const std::string bytes("\x06\x00\xFF\x09\x01\xA1\x01\xC0", 8);
    struct Case {
        const char* what;
        bool present;
        std::string content;
        bool ok;
    };
    const Case cases[] = {
        {"as the kernel gives it", true, bytes, true},
        {"missing", false, "", false},
        {"empty", true, "", false},
        {"at the kernel's limit", true, std::string(4096, '\x05'), true},
        {"beyond any sane size", true, std::string(70000, '\x05'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = m_hid / "report_descriptor";
        fs::remove(file);
        if (c.present) Write(file, c.content);
        std::vector<std::uint8_t> got{1, 2, 3};
        EXPECT_EQ(ReadReportDescriptor(m_node.string(), got), c.ok);
        if (c.ok) {
            EXPECT_EQ(got, std::vector<std::uint8_t>(c.content.begin(), c.content.end()));
        }
    }
}

}  // namespace
