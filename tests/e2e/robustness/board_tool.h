// The rig's board tool (tools/board/board.py) as the robustness programs
// run it: the tool's path from RIG_BOARD (the rig sets it) or the build.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace rig {

inline std::string BoardTool()
{
    const char* env = std::getenv("RIG_BOARD");
#ifdef WENDREL_BOARD_TOOL
    return env && *env ? env : WENDREL_BOARD_TOOL;
#else
    return env && *env ? env : "";
#endif
}

// Runs the board tool with `args`; its first line of output ("ok" when it
// printed none), or "" on failure.
inline std::string RunBoard(const std::string& args)
{
    std::string out;
    if (FILE* p = popen(("python3 '" + BoardTool() + "' " + args).c_str(), "r")) {
        char line[256];
        if (std::fgets(line, sizeof line, p))
            out = line;
        while (std::fgets(line, sizeof line, p)) {
        }
        if (pclose(p) != 0)
            return "";
    } else {
        return "";
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out.empty() ? "ok" : out;
}

// Where the board tool keeps its boards' state.
inline std::string BoardState()
{
    const char* state = std::getenv("WENDREL_BOARD_STATE");
    return state && *state ? state : "/run/wendrel-board";
}

}  // namespace rig
