#include "soak_board.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace soak {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::string s;
    std::getline(in, s);
    return s;
}

bool WriteSys(const std::string& path, const std::string& value)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = write(fd, value.data(), value.size()) == ssize_t(value.size());
    close(fd);
    return ok;
}

void Stream(Board& board, const std::string& hidg, int index, const std::atomic<bool>& stop)
{
    // The gadget's device opens only while the board is on the bus, and a
    // blocking write to a board that has left it can wait for ever.
    int fd = -1;
    char report[64];
    for (long n = 1; !stop;) {
        if (fd < 0 && (fd = open(hidg.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        const bool taken = poll(&p, 1, 20) > 0;  // the last report is gone
        if (!board.active) {
            if (taken) {
                // Nothing in flight: let go of the device, so that the
                // test's own descriptors do not count against the console.
                close(fd);
                fd = -1;
                board.quiet = true;
            }
            continue;
        }
        board.quiet = false;
        if (!taken)
            continue;
        std::memset(report, 0, sizeof report);
        std::snprintf(report, sizeof report, "board %d line %ld", index, n);
        const ssize_t w = write(fd, report, sizeof report);
        if (w == ssize_t(sizeof report)) {
            ++n;
        } else if (w < 0 && errno != EAGAIN) {
            close(fd);  // off the bus: open again once it is back
            fd = -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    if (fd >= 0)
        close(fd);
}

Board* BoardOf(std::deque<Board>& boards, const std::u16string& path)
{
    const std::string node(path.begin(), path.end());
    const std::string sys = "/sys/class/hidraw/" + node.substr(node.rfind('/') + 1);
    char real[PATH_MAX];
    if (!realpath(sys.c_str(), real))
        return nullptr;
    for (Board& b : boards) {
        const std::string hcd = "/dummy_hcd." + b.udc.substr(b.udc.rfind('.') + 1) + "/";
        if (std::strstr(real, hcd.c_str()))
            return &b;
    }
    return nullptr;
}

}  // namespace soak
