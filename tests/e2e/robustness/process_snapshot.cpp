#include "process_snapshot.h"

#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace soak {

namespace {

std::vector<std::string> OpenDescriptors()
{
    std::vector<std::string> out;
    DIR* d = opendir("/proc/self/fd");
    if (!d)
        return out;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.' || std::atoi(e->d_name) == dirfd(d))
            continue;
        char target[PATH_MAX] = {};
        const std::string link = std::string("/proc/self/fd/") + e->d_name;
        if (readlink(link.c_str(), target, sizeof target - 1) < 0)
            continue;
        if (!std::strstr(target, "/wendrel-board/"))
            out.push_back(std::string(e->d_name) + " -> " + target);
    }
    closedir(d);
    return out;
}

long RssKb()
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

}  // namespace

int CountEntries(const char* dir)
{
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

Snapshot Take()
{
    Snapshot s;
    s.fdList = OpenDescriptors();
    s.fds = int(s.fdList.size());
    s.threads = CountEntries("/proc/self/task");
    s.rssKb = RssKb();
    return s;
}

}  // namespace soak
