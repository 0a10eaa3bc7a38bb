// The soak's boards: each plugged and unplugged by writing its controller
// into the gadget's UDC file, and streaming lines while the console is
// connected to it.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <string>
#include <thread>

namespace soak {

using Clock = std::chrono::steady_clock;

// Reads a sysfs file's first line; writes one whole value into another.
std::string ReadText(const std::string& path);
bool WriteSys(const std::string& path, const std::string& value);

// One virtual board: plugged and unplugged by writing its controller into
// the gadget's UDC file; a thread writes lines into it while it is on the
// bus.
struct Board {
    std::string name;
    std::string udc;
    // The streamer writes only while the console is connected to this
    // board, and the board leaves the bus only once its last report has
    // been taken: the guest kernel's HID gadget oopses when a report is
    // still in flight at the unbind (f_hidg_req_complete on an unbound
    // function). With the console reading, that is never long.
    std::atomic<bool> active{false};
    std::atomic<bool> quiet{false};
    bool plugged = false;
    bool replugDue = false;
    Clock::time_point replugAt;
    std::thread streamer;

    std::string UdcFile() const { return "/sys/kernel/config/usb_gadget/" + name + "/UDC"; }
    bool Plug()
    {
        plugged = WriteSys(UdcFile(), udc) || plugged;
        replugDue = false;
        return plugged;
    }
    void Unplug()
    {
        // The streamer says quiet only after it has seen `active` cleared.
        active = false;
        quiet = false;
        for (int i = 0; i < 50 && !quiet; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (plugged)
            WriteSys(UdcFile(), "\n");
        plugged = false;
        replugDue = false;
    }
};

// Writes "board INDEX line N" reports into the gadget end `hidg` while
// `board` is active, until `stop`.
void Stream(Board& board, const std::string& hidg, int index, const std::atomic<bool>& stop);

// The board behind a hidraw path, by the controller in its sysfs path.
Board* BoardOf(std::deque<Board>& boards, const std::u16string& path);

}  // namespace soak
