// What the device access cases share: the board's IDs, timing helpers that
// show rather than judge, and a fresh bus for every test. Runs inside the
// rig's VM, against the virtual board.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "held_open_platform.h"
#include "hid_device.h"
#include "recording_receiver.h"
#include "virtual_board.h"

namespace device_access {

inline constexpr int kVid = 0x04D8;
inline constexpr int kPid = 0x003F;
inline constexpr int kOtherPid = 0x003E;
inline constexpr int kBootloaderPid = 0x0B00;  // any product ID but ours

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

inline Bytes Report(const std::string& text, std::size_t length)
{
    Bytes r(text.begin(), text.end());
    r.resize(length, 0);
    return r;
}

inline std::chrono::milliseconds Elapsed(const std::function<void()>& action)
{
    auto start = Clock::now();
    action();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// How long a call that must not wait for the board took: shown, never
// judged, since a busy machine stretches any figure. A call that did wait
// for a stuck write would hold the caller for 5 s per write; the
// benchmark's stall row measures that bound.
inline void ShowTime(const char* what, const std::function<void()>& action)
{
    std::printf("%s: %lld ms\n", what, static_cast<long long>(Elapsed(action).count()));
}

// Waits end as soon as the condition holds; the bound only stops a case
// whose event never comes.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 60000)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Where a test checks what arrives rather than how long the caller waits:
// under emulation the writer is not always scheduled within kSendWaitMs.
inline constexpr int kPatientSendMs = 2000;

// A fresh bus for every test.
class CleanBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualBoard::RemoveAll());
        device.SetSendWaitMs(kPatientSendMs);
    }
    void TearDown() override { device.Close(); }

    RecordingReceiver owner;  // outlives the connection
    CHidDevice device;
};

}  // namespace device_access
