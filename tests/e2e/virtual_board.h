// The virtual board, driven from a test through the rig's board tool
// (tools/board/board.py): by the board service when one runs (the
// end-to-end runner starts one), else by starting the tool. Only
// meaningful inside the rig's VM, as root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "utf16.h"

struct ToolResult {
    int status = -1;     // the tool's exit status; -1 when it could not run
    std::string output;  // its standard output, trailing newline removed
};

// Runs one board command (board.py's arguments); its errors go to our
// stderr.
ToolResult RunBoardTool(const std::vector<std::string>& args);

class VirtualBoard {
public:
    struct Options {
        int vid = 0x04D8;
        int pid = 0x003F;
        int inLength = 64;
        int outLength = 64;
        int reportId = 0;
        // Non-zero: a feature report under this ID as well.
        int featureReportId = 0;
        std::string udc;  // controller; empty for the first free one
    };

    explicit VirtualBoard(std::string name) : m_name(std::move(name)) {}
    ~VirtualBoard();  // leaves the board in place

    VirtualBoard(const VirtualBoard&) = delete;
    VirtualBoard& operator=(const VirtualBoard&) = delete;

    // Each returns false (or "") on failure, with the tool's reason on stderr.

    // Creates and plugs in; returns the host's hidraw node once it exists.
    std::string Plug(const Options& options);
    std::string Plug() { return Plug(Options{}); }
    bool Unplug();
    // Plugs in again, optionally as another product; returns the new node.
    std::string Replug(int pid = -1);

    // Firmware that reads and records every output report (optionally
    // echoing it, or answering "Boot" by coming back as bootPid). Without
    // it the board stalls: it never reads.
    bool StartFirmware(bool echo = false, int bootPid = -1);
    bool StopFirmware();

    bool Send(const std::vector<std::string>& texts);
    bool SendRaw(const std::vector<std::vector<std::uint8_t>>& reports);
    // Reports "1", "2", ... "count", as fast as the host takes them.
    bool Burst(int count);

    // Output reports recorded by the firmware, waiting until at least
    // `atLeast` are there (empty result if they never come).
    std::vector<std::vector<std::uint8_t>> Received(int atLeast = 0);
    bool ClearReceived();

    // Removes every board: a clean bus.
    static bool RemoveAll();

private:
    std::string m_name;
};

// "/dev/hidraw0" as the device layer spells paths.
using text::Widen;
