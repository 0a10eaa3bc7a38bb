// The rule a box of rows follows its newest row by (window_system.h,
// UpdateRows), kept once for every window system: each box says what
// happened to its view, and asks this whether it follows.
#pragma once

#include "row_change.h"

namespace wsys {

class CFollowRule {
public:
    bool Follows() const { return m_bFollow; }

    // The user moved the view (wheel, keys, the scroll bar, a selection
    // dragged past the edge): the box follows while the view is at the
    // bottom. Moves the program makes (under a CProgramMove) do not count.
    void UserMoved(bool atBottom)
    {
        if (m_nProgram == 0)
            m_bFollow = atBottom;
    }

    // A match was selected and brought into view: the box stops
    // following, even with the match at the bottom.
    void MatchShown() { m_bFollow = false; }

    // After `change` was applied: a box emptied (the history cleared)
    // follows again; a restyle keeps whatever it did.
    void Applied(const RowChange& change)
    {
        if (change.replace && !change.restyle && change.added.empty())
            m_bFollow = true;
    }

    // While one lives, the view's moves are the program's.
    class CProgramMove {
    public:
        explicit CProgramMove(CFollowRule& rule) : m_rule(rule) { ++m_rule.m_nProgram; }
        ~CProgramMove() { --m_rule.m_nProgram; }
        CProgramMove(const CProgramMove&) = delete;
        CProgramMove& operator=(const CProgramMove&) = delete;

    private:
        CFollowRule& m_rule;
    };
    bool ProgramMoving() const { return m_nProgram > 0; }

    // Where the view goes once rows took another height (a zoom): the
    // newest row at the bottom where the box follows, else the row that
    // was first in view stays first.
    struct Resized {
        bool bottom;
        int first;
    };
    Resized AfterResize(int firstBefore) const { return {m_bFollow, firstBefore}; }

private:
    bool m_bFollow = true;
    int m_nProgram = 0;
};

}  // namespace wsys
