// The history box on the Windows dialog manager: a read-only multi-line
// edit control whose lines are the rows, edited in place, with a view that
// follows the newest row until the user scrolls away from it. Its context
// menu, its keys and its zoom are here too: the box has one subclass.
#pragma once

#include "win32_api.h"

#include <cstddef>
#include <functional>

#include "box_zoom.h"
#include "row_change.h"
#include "row_follow.h"
#include "win32_box_menu.h"

class CWin32RowBox {
public:
    // Watches `box` until it is destroyed. `onCommand` runs the menu's
    // commands. `dialogPoints`: the dialog font's size, which the zoom
    // starts from and Ctrl+0 returns to.
    CWin32RowBox(HWND box, std::function<void(int)> onCommand, int dialogPoints = 9);
    ~CWin32RowBox();
    CWin32RowBox(const CWin32RowBox&) = delete;
    CWin32RowBox& operator=(const CWin32RowBox&) = delete;

    // Applies `change` at once, drawn once: the top lines cut, new lines
    // appended; a selection follows its text (and is gone once its rows
    // are). Following, the newest row comes into view from the rows'
    // start; scrolled up, the rows in view stay in view.
    void Update(const wsys::RowChange& change);

    // The one place the row metrics are computed: the row height, the
    // average character width and the rows in view, from the box's font
    // and size. Runs by itself when the font or the size changes; also for
    // whoever changes them otherwise (a new scale).
    void RecomputeMetrics();

    // Selects [start, end) and brings it into view; the box stops
    // following until the user scrolls back to the bottom.
    void ShowMatch(std::size_t start, std::size_t end);

    bool Follows() const { return m_follow.Follows(); }

    // The zoom's steps (box_zoom.h): the box gets a font of its own, the
    // dialog's at another size; Reset gives it the dialog's back.
    void Zoom(wsys::CBoxZoom::Step step);
    int ZoomPoints() const { return m_zoom.Points(); }
    int RowHeight() const { return m_nRowHeight; }
    int RowsInView() const { return m_nRowsInView; }
    HWND Hwnd() const { return m_hBox; }
    CWin32BoxMenu& Menu() { return m_menu; }

    // The row box that watches `box`, or nullptr.
    static CWin32RowBox* Of(HWND box);

private:
    struct View {
        int first = 0;     // first line in view
        int xOffset = 0;   // pixels scrolled to the right
        DWORD selStart = 0;
        DWORD selEnd = 0;
    };

    // What of the screen an update may keep: the rows that were there
    // before it (`kept`, from the top), and where the view's first was
    // among them.
    struct Carried {
        bool ok = false;
        int oldTop = 0;
        int kept = 0;
    };

    static LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                    DWORD_PTR self);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    // A key that moves the view, as in a viewer: true when it did.
    bool OnViewKey(WPARAM key);
    // Ctrl with plus, minus or 0 (either keyboard): true when it was one.
    bool OnZoomKey(WPARAM key);
    // The dialog's font at the zoom's size (the dialog's own at its size).
    void ApplyZoom();
    void AfterUserScroll(int firstBefore, bool scrolled);

    // A position as its row and its distance from the row's end.
    struct RowPlace {
        int row;
        long fromEnd;
    };
    RowPlace PlaceOf(DWORD at) const;
    // Within the row: at its start where the row is shorter now.
    DWORD PositionOf(RowPlace place) const;

    View ReadView() const;
    int LineCount() const;
    int FirstLine() const;
    int XOffset() const;
    bool AtBottom() const;
    void ScrollToLine(int line);
    void ScrollToX(int xOffset);
    void ShowBottom();
    // The scroll bar is shown while the rows outnumber the view (the edit
    // control would show it, disabled, always).
    void SyncScrollBar();
    void SetRedraw(bool on);
    void Redraw(const Carried& carried);
    void Replace(DWORD from, DWORD to, const std::u16string& text);

    HWND m_hBox;
    std::function<void(int)> m_onCommand;
    CWin32BoxMenu m_menu;
    std::size_t m_nRows = 0;
    wsys::CFollowRule m_follow;
    wsys::CBoxZoom m_zoom;
    HFONT m_hDialogFont = nullptr;  // the dialog's, which it set
    HFONT m_hZoomFont = nullptr;    // ours while zoomed
    bool m_bSettingFont = false;
    bool m_bZoomKeyDown = false;  // the character of a zoom key is no input
    bool m_bUpdating = false;   // our own edits are no user's scrolling
    bool m_bForcedRedraw = false;
    bool m_bInMetrics = false;
    int m_nRowHeight = 1;
    int m_nCharWidth = 1;
    int m_nRowsInView = 1;
};

// The box's font and size changed (the dialog moved to a monitor of
// another scale): what depends on the row height follows.
void RecomputeRowBoxMetrics(HWND box);
