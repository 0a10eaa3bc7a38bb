// The list of present HID interfaces from SetupAPI, and a collection's
// report lengths read without taking the device from anyone.
//
// Threads: both may run on any thread, each call on its own.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "hid_platform.h"
#include "hid_platform_win32_library.h"

namespace hid::win32 {

// Every present interface of the class `guid`, each with its path and the
// first string of its device's hardware IDs, in SetupAPI's order. Empty
// when the list cannot be had.
std::vector<DeviceInfo> ListInterfaces(const GUID& guid);

// The report lengths of the interface at `path`, from a handle opened for
// no access: it needs no permission, is refused by no share mode and
// disturbs no reader. Nothing when it cannot be opened or has no caps.
std::optional<ReportLengths> QueryLengths(const CHidLibrary& hid, const std::u16string& path);

}  // namespace hid::win32
