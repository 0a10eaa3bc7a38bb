#include "text_search.h"

#include <algorithm>

namespace wsys {

char16_t FoldCase(char16_t c)
{
    const auto in = [c](char16_t lo, char16_t hi) { return c >= lo && c <= hi; };
    if (in(u'A', u'Z') || (in(0x00C0, 0x00DE) && c != 0x00D7) || in(0x0391, 0x03AB) ||
        in(0x0410, 0x042F))
        return static_cast<char16_t>(c + 0x20);
    if (in(0x0400, 0x040F))
        return static_cast<char16_t>(c + 0x50);
    if (in(0xFF21, 0xFF3A))
        return static_cast<char16_t>(c + 0x20);
    // Latin Extended-A: capitals at even code points, but for the stretch
    // where they sit at odd ones.
    if (in(0x0100, 0x0137) || in(0x014A, 0x0177))
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    if (in(0x0139, 0x0148) || in(0x0179, 0x017E))
        return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c == 0x0178)
        return 0x00FF;
    return c;
}

namespace {

bool MatchesAt(std::u16string_view text, std::size_t at, std::u16string_view needle,
               bool matchCase)
{
    for (std::size_t i = 0; i < needle.size(); ++i) {
        const char16_t a = text[at + i], b = needle[i];
        if (a != b && (matchCase || FoldCase(a) != FoldCase(b)))
            return false;
    }
    return true;
}

// The first match starting in [from, to), or the last when !forward.
std::optional<std::size_t> Scan(std::u16string_view text, std::u16string_view needle,
                                std::size_t from, std::size_t to, bool forward, bool matchCase)
{
    to = std::min(to, text.size() - needle.size() + 1);
    if (from >= to)
        return std::nullopt;
    if (forward) {
        for (std::size_t at = from; at < to; ++at)
            if (MatchesAt(text, at, needle, matchCase))
                return at;
    } else {
        for (std::size_t at = to; at-- > from;)
            if (MatchesAt(text, at, needle, matchCase))
                return at;
    }
    return std::nullopt;
}

}  // namespace

std::optional<TextMatch> FindInText(std::u16string_view text, std::u16string_view needle,
                                    std::size_t selStart, std::size_t selEnd, bool forward,
                                    bool matchCase)
{
    if (needle.empty() || needle.size() > text.size())
        return std::nullopt;
    selStart = std::min(selStart, text.size());
    selEnd = std::clamp(selEnd, selStart, text.size());
    std::optional<std::size_t> at;
    if (forward) {
        at = Scan(text, needle, selEnd, text.size(), true, matchCase);
        if (!at)
            at = Scan(text, needle, 0, text.size(), true, matchCase);
    } else {
        // Ending at selStart or earlier: starting at selStart - size at most.
        if (selStart >= needle.size())
            at = Scan(text, needle, 0, selStart - needle.size() + 1, false, matchCase);
        if (!at)
            at = Scan(text, needle, 0, text.size(), false, matchCase);
    }
    if (!at)
        return std::nullopt;
    return TextMatch{*at, needle.size()};
}

}  // namespace wsys
