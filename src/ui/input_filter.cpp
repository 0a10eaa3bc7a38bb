#include "input_filter.h"

#include <algorithm>

#include "utf16.h"

namespace wsys {

FilteredChange FilterChange(std::u16string_view before, std::u16string_view after,
                            std::size_t caret, const InputFilter& accept)
{
    // What changed: before[p, before.size() - s) became after[p, after.size() - s),
    // ending at the caret and at whole characters.
    caret = std::min(caret, after.size());
    std::size_t s = 0;
    const std::size_t maxSuffix = std::min(before.size(), after.size() - caret);
    while (s < maxSuffix && before[before.size() - 1 - s] == after[after.size() - 1 - s])
        ++s;
    std::size_t p = 0;
    const std::size_t maxPrefix = std::min(before.size(), after.size()) - s;
    while (p < maxPrefix && before[p] == after[p])
        ++p;
    if (p > 0 && text::IsHighSurrogate(after[p - 1]))
        --p;
    if (s > 0 && text::IsLowSurrogate(after[after.size() - s]))
        --s;
    const std::u16string_view head = before.substr(0, p);
    const std::u16string_view tail = before.substr(before.size() - s);
    const std::u16string_view inserted = after.substr(p, after.size() - p - s);

    FilteredChange result;
    if (before == after || (!text::HasLoneSurrogate(inserted) && accept(std::u16string(after)))) {
        result.text = after;
        result.start = result.end = p + inserted.size();
        return result;
    }
    for (std::size_t k = inserted.size(); k-- > 1;) {
        const std::u16string_view kept = inserted.substr(0, k);
        if (text::WholeCharacterCut(inserted, k) != k || text::HasLoneSurrogate(kept))
            continue;
        std::u16string candidate;
        candidate.reserve(p + k + s);
        candidate.append(head).append(kept).append(tail);
        if (accept(candidate)) {
            result.outcome = FilteredChange::Outcome::Cut;
            result.text = std::move(candidate);
            result.start = result.end = p + k;
            return result;
        }
    }
    result.outcome = FilteredChange::Outcome::Refused;
    result.text = before;
    result.start = p;
    result.end = before.size() - s;
    return result;
}

}  // namespace wsys
