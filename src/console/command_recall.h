// The lines the user sent since the program started, brought back into the
// input line with Up and Down as a shell does: Up the one before, Down the
// one after, and Down past the newest the line that was being typed
// before the first Up. A recalled line the user edits keeps the edit while
// Up and Down move on, until a line is sent. Kept in memory only.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>

class CCommandRecall {
public:
    static constexpr std::size_t kMaxLines = 100;

    // A line was sent: it becomes the newest (once, where it is the newest
    // already; an empty line is not kept), and the next Up starts from it.
    void Sent(const std::u16string& line);

    // What Up (`older`) or Down brings into the input line, which now
    // shows `current`; nothing where there is nothing further that way.
    std::optional<std::u16string> Recall(bool older, const std::u16string& current);

    std::size_t Size() const { return m_lines.size(); }

private:
    std::deque<std::u16string> m_lines;  // oldest first
    // The line shown: an index into m_lines, or m_lines.size() for the one
    // being typed.
    std::size_t m_nAt = 0;
    std::u16string m_strTyping;
    // Edits of recalled lines, by index, until the next line is sent.
    std::map<std::size_t, std::u16string> m_edits;
};
