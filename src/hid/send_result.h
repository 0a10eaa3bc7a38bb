// What became of one line sent to the board: written, still on its way,
// or not written, and why.
#pragma once

namespace hid {

enum class SendResult {
    Written,    // the system took the report
    Pending,    // not written yet; the outcome follows when it is known
    NoBoard,    // no connection, or it closed before the report went
    NoOutput,   // the board has no output report
    Refused,    // the system refused the write
    TimedOut,   // the board took no report for the whole of the system's wait
    QueueFull,  // too many reports wait: the board has stopped taking them
};

// Not written, and never will be.
inline bool Failed(SendResult result)
{
    return result != SendResult::Written && result != SendResult::Pending;
}

// "no board", "timed out"...: a few English words for logs.
const char* Describe(SendResult result);

}  // namespace hid
