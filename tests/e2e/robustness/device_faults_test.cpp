// The device layer against a board that misbehaves on the rig: unplugged
// in the middle of a burst and in the middle of a write.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "faults_fixture.h"

using namespace faults;

namespace {

TEST_F(Faults, UnplugMidBurstDeliversEveryLineReadAndEndsTheReader)
{
    const std::string node = Board("plug midburst");
    ASSERT_NE(node, "");
    ASSERT_EQ(device.Open(text::Widen(node), &owner), 1);
    std::this_thread::sleep_for(milliseconds(200));  // usbhid drops the first ~50 ms

    std::atomic<int> written{0};
    std::atomic<bool> stop{false};
    std::thread burst([&] {
        // Non-blocking: a blocking write to a gadget that has left the bus
        // can wait for ever.
        const int fd = open(Hidg("midburst").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        char report[64];
        for (int n = 1; fd >= 0 && n <= 5000 && !stop;) {
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            std::memset(report, 0, sizeof report);
            std::snprintf(report, sizeof report, "%d", n);
            const ssize_t w = write(fd, report, sizeof report);
            if (w < 0 && errno != EAGAIN)
                break;
            if (w == ssize_t(sizeof report))
                written = n++;
            // About 1,000 a second: room for the reader to be late.
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        if (fd >= 0)
            close(fd);
    });
    const bool underway = WaitUntil([&] { return written >= 500; }, 20000);
    // The board stops writing and leaves the bus at once, straight through
    // configfs: a report written during the unbind itself can oops the
    // guest kernel's HID gadget (f_hidg_req_complete on an unbound
    // function).
    stop = true;
    burst.join();
    const int before = written;
    const int udc = open("/sys/kernel/config/usb_gadget/midburst/UDC", O_WRONLY | O_CLOEXEC);
    const bool unplugged = udc >= 0 && write(udc, "\n", 1) == 1;
    if (udc >= 0)
        close(udc);
    ASSERT_TRUE(underway) << "the burst did not get going";
    ASSERT_TRUE(unplugged);

    EXPECT_TRUE(WaitUntil([&] { return !device.IsReading(); }))
        << "the reader did not end after the unplug";
    ShowTime("Close after the unplug mid-burst", [&] { device.Close(); });

    // In order and each once, and the last line delivered one of the last
    // the board sent: the reader hands every report over as it reads it.
    // The slack covers the kernel's queue of 64 and an emulated machine
    // that leaves the reader unrun for a while (holes in between, from the
    // same cause, are counted, not judged).
    const auto texts = owner.Texts();
    long last = 0;
    int holes = 0;
    for (const std::u16string& t : texts) {
        const long n = std::stol(std::string(t.begin(), t.end()));
        ASSERT_GT(n, last) << "out of order or twice";
        holes += n != last + 1;
        last = n;
    }
    EXPECT_GE(last, before - 200) << "lines the reader had taken were lost ("
                                  << before << " written before the unplug)";
    std::printf("unplug mid-burst: %d reports written before the unplug, %zu delivered, "
                "last %ld, %d hole(s)\n",
                before, texts.size(), last, holes);
}

TEST_F(Faults, UnplugDuringAStuckWriteFailsTheSendsAndDoesNotHang)
{
    ASSERT_NE(Board("plug stuck"), "");  // no firmware: it never reads
    const std::string path = Board("node stuck");
    ASSERT_EQ(device.Open(text::Widen(path), &owner), 1);
    // Fill the gadget's few slots until the writer is stuck in the kernel.
    for (int i = 0; i < 8; ++i)
        device.SendText(u"fill");

    ASSERT_NE(Board("unplug stuck"), "");
    int sent = -1;
    ShowTime("SendText after the unplug", [&] { sent = device.SendText(u"after"); });
    EXPECT_EQ(sent, 0) << "a send to a vanished board was claimed as done";
    EXPECT_TRUE(WaitUntil([&] { return !device.IsReading(); }));
    ShowTime("Close after the unplug", [&] { device.Close(); });
    EXPECT_FALSE(device.IsOpen());
}

}  // namespace
