// The board the console looks for, as the fake platform plugs it, its
// reports, and what the status label says of it.
#pragma once

#include <cstdint>
#include <string>

#include "fake_platform.h"

namespace console_test {

inline const std::u16string kConnected = u"VID:0x04D8 / PID:0x003F";
inline const std::u16string kDisconnected = u"Non Connections";

inline hid::test::FakeBoard Board(const std::u16string& path,
                                  hid::ReportLengths lengths = {65, 65})
{
    return {path, u"HID\\VID_04D8&PID_003F&REV_0002", lengths};
}

// An input report carrying `bytes` (at most 63 of them, then a zero).
inline hid::test::Report InputReport(const std::string& bytes)
{
    hid::test::Report r(65, 0);
    for (std::size_t i = 0; i < bytes.size() && i < 63; ++i)
        r[1 + i] = static_cast<std::uint8_t>(bytes[i]);
    return r;
}

}  // namespace console_test
