// Saving the history to a text file: the name offered, and the file's
// bytes. Writing it is base::WriteFileReplacing's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace history_save {

// "wendrel-YYYYMMDD-HHMMSS.txt" at `ms` (base::WallClockMs's scale), local
// time.
std::u16string SuggestedName(std::int64_t ms);

// The rows as the box shows them, each ended by "\r\n"
// (CHistoryFeed::ShownRows), as a text file: UTF-8 without a byte-order
// mark, each row ended by `lineBreak`.
std::string FileText(std::u16string_view shownRows, std::string_view lineBreak);

}  // namespace history_save
