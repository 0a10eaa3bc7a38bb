// The rule every window system applies when the user changes an edit
// control that has an input filter (IWindow::SetInputFilter): a change the
// filter refuses is undone, except that text inserted at once (a paste, an
// input method's result) keeps its longest start, cut at a whole
// character, that the filter takes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace wsys {

using InputFilter = std::function<bool(const std::u16string&)>;

struct FilteredChange {
    enum class Outcome { Taken, Cut, Refused };
    Outcome outcome = Outcome::Taken;
    // What the control keeps: the changed text, the change with its
    // inserted text cut, or (Refused) the text before the change.
    std::u16string text;
    // Taken or Cut: the caret, after what was kept of the inserted text
    // (start == end). Refused: the span the change replaced, to be
    // selected again.
    std::size_t start = 0;
    std::size_t end = 0;
};

// The user turned `before` into `after`, leaving the caret at `caret`
// (where the inserted text ends; the text behind it is taken to be
// unchanged). A lone surrogate in the inserted text is never taken: it is
// half of a character that a length limit cut or that is still being
// typed.
FilteredChange FilterChange(std::u16string_view before, std::u16string_view after,
                            std::size_t caret, const InputFilter& accept);

}  // namespace wsys
