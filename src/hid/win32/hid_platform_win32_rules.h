// The Windows platform's decisions, apart from the calls that carry them
// out, so that tests can put any answer of the system to them: what a
// failed open means, how many input reports a handle keeps, which of a
// board's top-level collections comes first, and which ID its output
// reports carry.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hid_platform.h"

namespace hid::win32 {

// What a CreateFileW error (GetLastError) means for the console.
OpenError ClassifyOpenError(unsigned long error);

// Input reports a read handle keeps while its reader is away: Windows keeps
// 32 unless asked, and 512 is the most it allows. A full-speed board can
// send 1,000 reports a second, so 32 is lost to a reader that stalls for
// 32 ms, which a busy machine does to any thread; 512 covers half a second
// at that rate, for about 33 KB of kernel memory per handle. A queue only
// fills while the reader is behind, so it adds no delay otherwise.
inline constexpr unsigned long kInputBuffers = 512;

// Asks `set` for kInputBuffers, then for half as many down to 64 while it
// refuses (older systems and some filter drivers allow fewer). Returns
// the count it took, or 0 when it took none: the handle then keeps the
// system's default.
unsigned long AskInputBuffers(const std::function<bool(unsigned long)>& set);

// Whether a path or hardware ID names one top-level collection of a
// device that has several ("...&Col01...", any case).
bool NamesCollection(const std::u16string& text);

// Whether a collection with these report lengths carries text both ways:
// an input and an output report of at least one data byte beside the
// report ID.
bool CarriesText(const ReportLengths& lengths);

// The console takes the first interface whose hardware ID matches the
// board. Collections known not to carry text go behind every other
// interface, in their order, so that a board's usable collection comes
// before its others, and a board with none still shows. `lengthsOf` gives
// a collection's report lengths, or nothing when they cannot be had (it
// then keeps its place); it is asked only about collections.
void OrderCollections(
    std::vector<DeviceInfo>& list,
    const std::function<std::optional<ReportLengths>(const DeviceInfo&)>& lengthsOf);

// One output field as the device's capabilities list it: the report it
// belongs to and the bits it takes there.
struct ReportField {
    unsigned reportId = 0;
    unsigned long bits = 0;
};

// The bits of a button field: `count` elements where the system tells it
// (0 where it does not: then one per usage), one bit each for a variable
// field; an array's element size is not in its capabilities, and a text
// board's are bytes.
unsigned long ButtonFieldBits(unsigned count, unsigned usages, bool variable);

// Byte 0 of every output report: 0 where no field stands under a report
// ID, else the ID of the report with the most bits (the lowest of equals),
// since the text goes into the longest report, as Windows' output report
// length counts it. IDs above 255 are not written.
std::uint8_t OutputReportId(const std::vector<ReportField>& fields);

}  // namespace hid::win32
