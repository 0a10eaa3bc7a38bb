// Report descriptors shaped like real devices', with the lengths Windows'
// HID capabilities give for them and which kinds the kernel numbers.
// Shared by the parser's tests and the fuzzer's seed corpus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hid::test {

// Which kinds carry their report ID on the wire, and the ID an output
// report is written with.
struct Numbering {
    bool input = false;
    bool output = false;
    bool feature = false;
    int outputId = 0;
    bool operator==(const Numbering&) const = default;
};

struct DescriptorSample {
    const char* name;
    std::vector<std::uint8_t> bytes;
    int input;   // report lengths including the report-ID byte
    int output;
    bool reportIds;
    bool complete;
    Numbering numbered = {};  // none without report IDs
};

inline std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts)
{
    std::vector<std::uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline std::vector<DescriptorSample> DescriptorSamples()
{
    // The board: vendor page, 64-byte input and output reports, no IDs.
    const std::vector<std::uint8_t> board = {
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x19, 0x01, 0x29, 0x40, 0x15, 0x00, 0x26,
        0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x81, 0x00, 0x19, 0x01, 0x29, 0x40, 0x91, 0x00,
        0xC0};
    // Vendor page, 8-byte input, 32-byte output.
    const std::vector<std::uint8_t> vendor8x32 = {
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
        0x95, 0x08, 0x09, 0x01, 0x81, 0x02, 0x95, 0x20, 0x09, 0x02, 0x91, 0x02, 0xC0};
    // Boot keyboard: modifiers, reserved byte, 6 keys in; 5 LEDs + 3 padding out.
    const std::vector<std::uint8_t> keyboardBody = {
        0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08,
        0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05, 0x08,
        0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
        0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00};
    const std::vector<std::uint8_t> keyboard =
        Join({{0x05, 0x01, 0x09, 0x06, 0xA1, 0x01}, keyboardBody, {0xC0}});
    // Three-button mouse with X and Y: 3 bytes in, nothing out.
    const std::vector<std::uint8_t> mouse = {
        0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01,
        0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01,
        0x75, 0x05, 0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81, 0x25, 0x7F,
        0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0};
    // Keyboard (ID 1) and consumer control (ID 2, one 16-bit usage) in two
    // top-level collections.
    const std::vector<std::uint8_t> keyboardAndConsumer = Join(
        {{0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01}, keyboardBody,
         {0xC0, 0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x15, 0x00, 0x26, 0xFF, 0x03,
          0x19, 0x00, 0x2A, 0xFF, 0x03, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0}});
    // Vendor reports by ID: 1 = 8 bytes in, 16 out; 2 = 32 bytes in.
    const std::vector<std::uint8_t> vendorIds = {
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
        0x85, 0x01, 0x95, 0x08, 0x09, 0x01, 0x81, 0x02, 0x95, 0x10, 0x09, 0x01, 0x91, 0x02,
        0x85, 0x02, 0x95, 0x20, 0x09, 0x01, 0x81, 0x02, 0xC0};
    // The board's descriptor with a long item (tag 0x10, 2 data bytes) inside.
    std::vector<std::uint8_t> withLongItem = board;
    withLongItem.insert(withLongItem.begin() + 7, {0xFE, 0x02, 0x10, 0xAA, 0xBB});
    // Push and Pop: 4 bytes in under the pushed state, 64 out after Pop.
    const std::vector<std::uint8_t> pushPop = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                               0x75, 0x08, 0x95, 0x40, 0xA4, 0x95, 0x04,
                                               0x81, 0x00, 0xB4, 0x91, 0x00, 0xC0};
    // 4-byte data in the size field (size code 3).
    const std::vector<std::uint8_t> fourByteData = {0x77, 0x08, 0x00, 0x00, 0x00, 0x97,
                                                    0x10, 0x00, 0x00, 0x00, 0x81, 0x00};
    // Feature reports only.
    const std::vector<std::uint8_t> featureOnly = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                                   0x75, 0x08, 0x95, 0x10, 0xB1, 0x02, 0xC0};
    // The board's reports without IDs, and a feature report numbered 1: its
    // input reports come without an ID byte.
    const std::vector<std::uint8_t> featureNumbered = Join(
        {std::vector<std::uint8_t>(board.begin(), board.end() - 1),
         {0x85, 0x01, 0x95, 0x08, 0x09, 0x01, 0xB1, 0x02, 0xC0}});
    // 64 bytes in without an ID, 32 out under ID 2.
    const std::vector<std::uint8_t> outputNumbered = {
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
        0x19, 0x01, 0x29, 0x40, 0x95, 0x40, 0x81, 0x00, 0x85, 0x02, 0x95, 0x20, 0x09, 0x01,
        0x91, 0x02, 0xC0};
    // Input under ID 0 (4 bytes, before any Report ID) and under ID 3 (16):
    // one numbered report makes the whole kind numbered.
    const std::vector<std::uint8_t> inputMixed = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                                  0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0x85,
                                                  0x03, 0x95, 0x10, 0x81, 0x02, 0xC0};
    // Output under IDs 2 (8 bytes), 5 and 7 (32 each): written as 5.
    const std::vector<std::uint8_t> outputIds = {0x75, 0x08, 0x85, 0x02, 0x95, 0x08, 0x91,
                                                 0x02, 0x85, 0x05, 0x95, 0x20, 0x91, 0x02,
                                                 0x85, 0x07, 0x95, 0x20, 0x91, 0x02};
    // A Report ID item that no main item follows numbers nothing.
    const std::vector<std::uint8_t> idWithoutItems =
        Join({std::vector<std::uint8_t>(board.begin(), board.end() - 1), {0x85, 0x04, 0xC0}});
    // An input item of no bits under ID 1 still numbers the input reports.
    const std::vector<std::uint8_t> emptyNumberedItem = {0x75, 0x08, 0x95, 0x40, 0x81,
                                                         0x00, 0x85, 0x01, 0x95, 0x00,
                                                         0x81, 0x01};
    // 5 bits in, rounded up to one byte.
    const std::vector<std::uint8_t> oddBits = {0x75, 0x01, 0x95, 0x05, 0x81, 0x02};

    std::vector<std::uint8_t> cutInLastItem(board.begin(), board.end() - 2);
    std::vector<std::uint8_t> cutBeforeMainItem(board.begin(), board.begin() + 19);
    std::vector<std::uint8_t> cutInLongItem(withLongItem.begin(), withLongItem.begin() + 10);

    return {
        {"Board64x64", board, 65, 65, false, true},
        {"Vendor8x32", vendor8x32, 9, 33, false, true},
        {"BootKeyboard", keyboard, 9, 2, false, true},
        {"MouseHasNoOutput", mouse, 4, 0, false, true},
        {"KeyboardAndConsumerWithIds", keyboardAndConsumer, 9, 2, true, true,
         {.input = true, .output = true, .outputId = 1}},
        {"VendorLongestReportById", vendorIds, 33, 17, true, true,
         {.input = true, .output = true, .outputId = 1}},
        {"FeatureNumberedOnly", featureNumbered, 65, 65, true, true, {.feature = true}},
        {"OutputNumberedOnly", outputNumbered, 65, 33, true, true,
         {.output = true, .outputId = 2}},
        {"InputUnderIdZeroAndThree", inputMixed, 17, 0, true, true, {.input = true}},
        {"LongestOutputIdLowestOfEquals", outputIds, 0, 33, true, true,
         {.output = true, .outputId = 5}},
        {"ReportIdWithoutMainItems", idWithoutItems, 65, 65, true, true},
        {"EmptyItemNumbersItsKind", emptyNumberedItem, 65, 0, true, true, {.input = true}},
        {"LongItemSkipped", withLongItem, 65, 65, false, true},
        {"PushPop", pushPop, 5, 65, false, true},
        {"FourByteItemData", fourByteData, 17, 0, false, true},
        {"FeatureOnly", featureOnly, 0, 0, false, true},
        {"OddBitsRoundUp", oddBits, 2, 0, false, true},
        {"PopWithoutPush", {0xB4, 0x75, 0x08, 0x95, 0x02, 0x81, 0x00}, 3, 0, false, false},
        {"CutInLastItem", cutInLastItem, 65, 0, false, false},
        {"CutBeforeFirstMainItem", cutBeforeMainItem, 0, 0, false, false},
        {"CutInLongItem", cutInLongItem, 0, 0, false, false},
        {"Empty", {}, 0, 0, false, true},
    };
}

}  // namespace hid::test
