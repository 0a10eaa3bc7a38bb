// Finding text in what a box shows, as each window system's find window
// and F3 do it: from the selection on, wrapping around at either end.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace wsys {

struct TextMatch {
    std::size_t start = 0;
    std::size_t length = 0;
};

// The match of `needle` in `text` next after the selection [selStart,
// selEnd) (forward: the first that starts at selEnd or later, else the
// first of all) or before it (backward: the last that ends at selStart or
// earlier, else the last of all). Without `matchCase`, letters match their
// other case (Latin, Greek, Cyrillic, full-width Latin). Positions count
// UTF-16 units. Nothing for an empty needle or no match at all.
std::optional<TextMatch> FindInText(std::u16string_view text, std::u16string_view needle,
                                    std::size_t selStart, std::size_t selEnd, bool forward,
                                    bool matchCase);

// The small letter of a capital one (one UTF-16 unit to one, so that
// positions stay put); any other unit as it is.
char16_t FoldCase(char16_t c);

}  // namespace wsys
