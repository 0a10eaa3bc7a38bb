// The history box on Qt: a read-only QPlainTextEdit whose blocks are the
// rows, edited in place, with a scrollback that follows the newest row
// while its view is at the bottom (window_system.h, UpdateRows).
#pragma once

#include <QAbstractSlider>
#include <QPlainTextEdit>

#include <optional>

#include "row_change.h"

class CQtRowBox final : public QPlainTextEdit {
public:
    explicit CQtRowBox(QWidget* parent);

    // Applies `change` in one edit: the top blocks removed, new blocks
    // appended, so that the user's selection on rows still shown stays.
    // Then the newest row is in sight where the box follows; elsewhere the
    // rows in view stay in view.
    void Update(const wsys::RowChange& change);

    // Selects [from, to) (positions in the document) and brings it into
    // view; the box stops following.
    void ShowMatch(int from, int to);

    bool Follows() const { return m_bFollow; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The view's move for a key that moves it, if it is one.
    static std::optional<QAbstractSlider::SliderAction> ViewKey(const QKeyEvent* event);
    bool AtBottom() const;
    void Restyle(const wsys::RowChange& change);

    bool m_bFollow = true;
    // Set while the program moves the view: only the user's moves decide
    // whether the box follows.
    bool m_bMoving = false;
};
