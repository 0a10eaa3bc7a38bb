// What the fake platform keeps for a board and for an open handle; its
// two halves (the test's controls and the platform's calls) share them.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace hid::test {

struct FakePlatform::Board {
    FakeBoard info;
    int instance = 0;
    bool plugged = true;
    bool reads = true;
    std::vector<Report> unread;  // taken while it did not read
};

// hid::Handle stays incomplete: each platform casts its own record, so no
// two definitions of hid::Handle ever meet in one program.
struct FakeHandle {
    std::u16string path;
    Access access;
    const void* board = nullptr;  // the FakePlatform::Board it was opened on
    bool plugged = true;
    int busy = 0;  // threads inside Read or Write
    bool interrupted = false;
    bool writeTimedOut = false;
    bool broken = false;  // BreakHandles: nothing more is read
    std::deque<Report> input;
};

inline FakeHandle* Cast(Handle* h) { return reinterpret_cast<FakeHandle*>(h); }

}  // namespace hid::test
