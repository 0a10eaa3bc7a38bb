// The history box on Qt: a read-only QPlainTextEdit whose blocks are the
// rows, edited in place, with a scrollback that follows the newest row
// while its view is at the bottom (window_system.h, UpdateRows), and a
// zoom of its own font.
#pragma once

#include <QAbstractSlider>
#include <QPlainTextEdit>

#include <deque>
#include <optional>

#include "box_zoom.h"
#include "row_change.h"
#include "row_follow.h"

class CQtRowBox final : public QPlainTextEdit {
public:
    explicit CQtRowBox(QWidget* parent);

    // Applies `change` in two edits, each as small as what it touches:
    // the new blocks appended at the end, then the top ones removed, so
    // that the user's selection on rows still shown stays, and what the
    // text layout and the accessibility bus are told grows with the rows
    // that changed, not with the rows held. Then the newest row is in
    // sight where the box follows; elsewhere the rows in view stay in
    // view. One block per row, always (see Rebuild).
    void Update(const wsys::RowChange& change);

    // Selects [from, to) (positions in the document) and brings it into
    // view; the box stops following.
    void ShowMatch(int from, int to);

    bool Follows() const { return m_follow.Follows(); }
    // Rows held: every block is one.
    int Rows() const { return m_nRows; }

    // The zoom's steps (box_zoom.h); the dialog's size is the font's now.
    void Zoom(wsys::CBoxZoom::Step step);
    int ZoomPoints() const { return m_zoom.Points(); }

    // Where document position `at` is drawn, in the viewport's pixels
    // (empty where it is not laid out); and the position of the character
    // drawn at `point` of the viewport, -1 where none is.
    QRect CharacterRect(int at) const;
    int PositionAt(QPoint point) const;
    // Scrolls the row of position `at` into view, as the user would.
    void BringIntoView(int at);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // The view's move for a key that moves it, if it is one.
    static std::optional<QAbstractSlider::SliderAction> ViewKey(const QKeyEvent* event);
    static std::optional<wsys::CBoxZoom::Step> ZoomKey(const QKeyEvent* event);
    bool AtBottom() const;
    void Restyle(const wsys::RowChange& change);
    void ApplyZoom();
    // The document no longer has one block per row: built again from its
    // own text, cut at the rows' lengths.
    void Rebuild();
    void ShowBottom();

    wsys::CFollowRule m_follow;
    wsys::CBoxZoom m_zoom;
    int m_nRows = 0;
    // Each row's length, oldest first: what Rebuild cuts the text at.
    std::deque<int> m_rowLengths;
};
