// Writing a whole file so that nobody ever finds it half-written: the
// bytes go to a new file beside the target, reach the disk, and that file
// then takes the target's place in one step. When anything fails, the
// target is as it was and nothing of the attempt is left behind.
#pragma once

#include <string>
#include <string_view>

namespace base {

struct FileWriteResult {
    bool ok = false;
    // The system's own words for what went wrong (in the user's language
    // where the system has it); empty on success.
    std::u16string reason;
};

// Makes the file at `path` hold exactly `bytes`, creating it or replacing
// it.
FileWriteResult WriteFileReplacing(const std::u16string& path, std::string_view bytes);

// What ends a line in a text file on this system: "\r\n" or "\n".
std::string_view TextLineBreak();

}  // namespace base
