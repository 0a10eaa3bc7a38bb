#include "send_result.h"

namespace hid {

const char* Describe(SendResult result)
{
    switch (result) {
    case SendResult::Written:
        return "written";
    case SendResult::Pending:
        return "pending";
    case SendResult::NoBoard:
        return "no board is connected";
    case SendResult::NoOutput:
        return "the board has no output report";
    case SendResult::Refused:
        return "the system refused the write";
    case SendResult::TimedOut:
        return "the board did not take the report in time";
    case SendResult::QueueFull:
        return "the board has stopped taking reports";
    }
    return "unknown";
}

}  // namespace hid
