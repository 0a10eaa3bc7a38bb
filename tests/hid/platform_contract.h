// One contract every hid::Platform keeps, written once against a small
// driver that makes the board's side happen: plug a board, make it send,
// unplug it, leave it not reading, hold it, refuse its user. The cases
// (platform_contract_test.cpp) run against whichever driver is linked in:
// the fake's (platform_contract_fake.cpp, with the unit tests), the Linux
// platform's on the rig (tests/e2e/platform/), the Windows platform's
// under Wine on the rig (tests/e2e/wine/win32_platform_contract.cpp).
//
// What a system cannot stage (no permissions under Wine, no exclusive
// open on Linux) the driver says in words, and the case skips with them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hid_platform.h"

namespace platform_contract {

using Bytes = std::vector<std::uint8_t>;

inline constexpr int kVid = 0x04D8;
inline constexpr int kPid = 0x003F;

// One board's reports: data bytes each way, the report ID not counted;
// an ID of 0 leaves that kind of report unnumbered.
struct BoardShape {
    int inLength = 64;
    int outLength = 64;
    int inputReportId = 0;
    int outputReportId = 0;
};

// The report descriptor of a vendor-page board of that shape.
inline Bytes Descriptor(const BoardShape& s)
{
    Bytes d{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
    auto report = [&](int id, int length, std::uint8_t main) {
        if (id) d.insert(d.end(), {0x85, static_cast<std::uint8_t>(id)});
        const auto n = static_cast<std::uint8_t>(length);
        d.insert(d.end(), {0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x19, 0x01, 0x29, n, 0x95,
                           n, main, 0x00});
    };
    report(s.inputReportId, s.inLength, 0x81);
    report(s.outputReportId, s.outLength, 0x91);
    d.push_back(0xC0);
    return d;
}

class CBoardDriver {
public:
    virtual ~CBoardDriver() = default;

    virtual hid::Platform& Platform() = 0;

    // Removes every board, then plugs in a new one (vendor kVid, product
    // kPid) that does not read its output reports until StartReading.
    // Returns its path once Enumerate lists it; "" on failure.
    virtual std::u16string Plug(const BoardShape& shape) = 0;
    virtual bool Unplug() = 0;

    // The board sends one input report: `data`, zero-filled to its
    // length, behind its input report ID where it numbers them.
    virtual bool Send(const Bytes& data) = 0;

    // The board's firmware reads from now on.
    virtual bool StartReading() = 0;
    // Every output report the board read so far, as it read it (the
    // report ID first where it numbers them, then the data), once at
    // least `atLeast` are there; what there is after a bound otherwise.
    virtual std::vector<Bytes> Received(std::size_t atLeast) = 0;

    // Another program opens the board for reading and writing, sharing
    // it with no one, until Release. "" when it does; else why this
    // system cannot stage it.
    virtual std::string Hold() = 0;
    virtual void Release() = 0;

    // Runs `during` while this user may not open the board. "" when it
    // could; else why this system cannot stage it (`during` then does not
    // run).
    virtual std::string WhileRefused(const std::function<void()>& during) = 0;
};

// The driver of the platform this program is built with.
CBoardDriver& Driver();

}  // namespace platform_contract
