// What a full scan of the HID interfaces costs (hid::Platform::Enumerate),
// on the system it runs on: the poll cycle pays it on every 50 ms tick when
// the platform cannot tell whether anything changed.
//
//   enum_bench [scans]     prints first, median, 90th percentile and worst
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "hid_platform.h"

int main(int argc, char** argv)
{
    const int scans = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    auto platform = hid::SystemPlatform();
    std::vector<double> ms;
    std::size_t devices = 0;
    for (int i = 0; i < scans + 1; ++i) {
        const auto start = std::chrono::steady_clock::now();
        devices = platform->Enumerate().size();
        ms.push_back(std::chrono::duration<double, std::milli>(
                         std::chrono::steady_clock::now() - start)
                         .count());
    }
    const double first = ms.front();
    ms.erase(ms.begin());
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("enumerate: %zu interfaces, %d scans: first %.2f ms, median %.2f ms, "
                "p90 %.2f ms, worst %.2f ms; at 20 scans/s %.1f%% of one core\n",
                devices, scans, first, median, ms[ms.size() * 9 / 10], ms.back(),
                median * 20 / 1000 * 100);
    return 0;
}
