// The process as the soak counts it: open descriptors, threads and
// resident memory, so that what a run leaves behind shows.
#pragma once

#include <string>
#include <vector>

namespace soak {

// Entries of a folder, "." and ".." not counted.
int CountEntries(const char* dir);

struct Snapshot {
    // The open descriptors but the boards' own ends of the wire (the
    // test's streamers), each as what it points at.
    std::vector<std::string> fdList;
    int fds = 0;
    int threads = 0;
    long rssKb = 0;
};

Snapshot Take();

}  // namespace soak
