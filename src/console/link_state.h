// Where the console stands with the board, and all that follows from it:
// the status label and its tooltip, and the design's m_bConnected. A new
// state is a value here and a row in each function of link_state.cpp.
#pragma once

#include <optional>
#include <string>

#include "hid_platform.h"

enum class LinkState {
    Starting,       // no look has answered yet
    Connected,      // a connection to the board is open
    ConnectedIdle,  // the same, and the poll timer sleeps until a change
    Disconnected,   // no board
    NotPermitted,   // a board is there that this user may not open
    Unreadable,     // a board is there whose reader keeps ending at once
    HeldByOther,    // a board is there that another program holds for itself
    CannotWatch,    // no thread can be made to look for the board
};

namespace link_state {

// A connection is open.
bool IsOpen(LinkState state);

// A board is there that cannot be opened, or none can be looked for, for a
// reason the label names.
bool IsProblem(LinkState state);

// The problem state that names an open refused for `error`; none when the
// refusal is not the user's to fix (the board went, or an unknown failure),
// and the open is only retried.
std::optional<LinkState> ProblemFor(hid::OpenError error);

// m_bConnected: 1 while connected, and while starting, so that the first
// look without a board shows "Non Connections" as a disconnection does. A
// problem state keeps the flag of the state it interrupted.
unsigned char ConnectedFlag(LinkState state);

std::u16string Status(LinkState state, int nVid, int nPid);
// `facts`: what grants access on the platform the console was given.
std::u16string Tip(LinkState state, const hid::AccessFacts& facts);
// The standard-error line (without its break) that names a problem state
// for the board at `path`; "" for the other states.
std::string Log(LinkState state, const std::u16string& path, const hid::AccessFacts& facts);

}  // namespace link_state
