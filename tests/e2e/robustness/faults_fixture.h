// What the fault cases share: the board tool, waits with a bound that
// only catches a hang, times shown and never judged, and a fixture with a
// device and its owner on a clean bus.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "board_tool.h"
#include "hid_device.h"
#include "recording_receiver.h"
#include "utf16.h"

namespace faults {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kVid = 0x04D8;
constexpr int kPid = 0x003F;
// The console's status line.
inline const std::u16string kConnected = u"VID:0x04D8 / PID:0x003F";
inline const std::u16string kNone = u"Non Connections";

inline std::string Board(const std::string& args) { return rig::RunBoard(args); }

// The gadget end of board `name`, where the board writes its reports.
inline std::string Hidg(const std::string& name)
{
    return rig::BoardState() + "/" + name + "/hidg";
}

inline milliseconds Elapsed(const std::function<void()>& action)
{
    const auto start = Clock::now();
    action();
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// How long a call that must not wait for the board took: shown, never
// judged (a busy machine stretches any figure); the benchmark measures it.
inline void ShowTime(const char* what, const std::function<void()>& action)
{
    std::printf("%s: %lld ms\n", what, static_cast<long long>(Elapsed(action).count()));
}

// Ends as soon as the condition holds; the bound only stops a case whose
// event never comes.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 60000)
{
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(Board("remove --all"), ""); }
    void TearDown() override
    {
        device.Close();
        Board("remove --all");
    }

    RecordingReceiver owner;  // outlives the connection
    CHidDevice device;
};

}  // namespace faults
