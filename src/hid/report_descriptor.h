// Report lengths from a HID report descriptor, counted the way Windows'
// HID capabilities count them.
//
// For each report ID the bits of the main items of one kind (Input, Output,
// Feature) are summed (report size x report count, padding included),
// rounded up to whole bytes, and one byte is added for the report ID, which
// Windows counts even when the device uses none. A kind's length is the
// largest over all report IDs, or 0 when the descriptor has no report of
// that kind.
//
// Whether a kind's reports carry their ID on the wire is decided per kind,
// as the kernel decides it: a kind is numbered when one of its main items
// stands under a Report ID other than 0. A board may number its Feature
// reports alone; its input reports then come without an ID byte.
//
// Self-contained (standard library only) and safe on any input: it reads
// nothing outside [data, data + size), and bad input gives a result that
// says so rather than a crash.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hid {

// Longest report we accept, report-ID byte included: Linux' own limit on a
// HID report buffer. Longer reports are counted as this long.
constexpr int kMaxReportLength = 16384;

struct DescriptorInfo {
    int inputLength = 0;    // bytes including the report-ID byte; 0 = none
    int outputLength = 0;
    int featureLength = 0;
    bool usesReportIds = false;  // a Report ID item occurs
    // Per kind: its reports begin with their report ID on the wire, and
    // hidraw hands them over (and takes them) with it.
    bool inputNumbered = false;
    bool outputNumbered = false;
    bool featureNumbered = false;
    // The first byte of an output report as the system takes it: the ID of
    // the longest numbered output report (the lowest of equals), or 0 where
    // output reports are not numbered.
    std::uint8_t outputReportId = 0;
    // False when an item was cut off at the end, a Pop had no Push, or the
    // Push stack overflowed: the lengths then cover what could be read.
    bool complete = true;
    // True when some report exceeded kMaxReportLength.
    bool clamped = false;

    // A descriptor without a single input or output report (empty, or cut
    // before its first main item) tells nothing about the device; callers
    // fall back to a known length then.
    bool Usable() const { return inputLength > 0 || outputLength > 0; }
};

DescriptorInfo ParseReportDescriptor(const std::uint8_t* data, std::size_t size);

}  // namespace hid
