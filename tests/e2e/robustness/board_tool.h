// The rig's board commands as the robustness programs give them: through
// the board service when the end-to-end runner started one, else by
// starting the tool (tools/board/board.py).
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "virtual_board.h"

namespace rig {

// Runs one board command (words split at spaces); its first line of
// output ("ok" when it printed none), or "" on failure.
inline std::string RunBoard(const std::string& args)
{
    std::vector<std::string> words;
    std::istringstream in(args);
    for (std::string word; in >> word;)
        words.push_back(word);
    const ToolResult r = RunBoardTool(words);
    if (r.status != 0)
        return "";
    const std::string out = r.output.substr(0, r.output.find('\n'));
    return out.empty() ? "ok" : out;
}

// Where the board tool keeps its boards' state.
inline std::string BoardState()
{
    const char* state = std::getenv("WENDREL_BOARD_STATE");
    return state && *state ? state : "/run/wendrel-board";
}

}  // namespace rig
