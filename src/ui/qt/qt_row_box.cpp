#include "qt_row_box.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <utility>

namespace {

QString Rows(const std::vector<std::u16string>& rows)
{
    return QString::fromStdU16String(wsys::JoinRows(rows, u"\n"));
}

// A position as its block and its distance from the block's end, which a
// row keeps when the time before its text comes or goes.
struct FromEnd {
    int block;
    int back;
};

FromEnd ToFromEnd(const QTextDocument* doc, int at)
{
    const QTextBlock b = doc->findBlock(at);
    return {b.blockNumber(), b.position() + b.length() - 1 - at};
}

int FromFromEnd(const QTextDocument* doc, FromEnd p)
{
    const QTextBlock b = doc->findBlockByNumber(p.block);
    if (!b.isValid())
        return doc->characterCount() - 1;
    return b.position() + std::max(0, b.length() - 1 - p.back);
}

// Moves the view without the move counting as the user's.
class CMoving {
public:
    explicit CMoving(bool& flag) : m_flag(flag), m_bWas(std::exchange(flag, true)) {}
    ~CMoving() { m_flag = m_bWas; }

private:
    bool& m_flag;
    bool m_bWas;
};

}  // namespace

CQtRowBox::CQtRowBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    // Template 102 has no room for a horizontal bar; the keys and a
    // search still scroll sideways.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabChangesFocus(true);
    // As little margin as an edit control has, so that all 18 rows fit.
    document()->setDocumentMargin(1);
    // Its rows change in place all the time; nothing to undo.
    setUndoRedoEnabled(false);

    // Every move of the user's (wheel, keys, the scroll bar, a selection
    // dragged past the edge) decides anew: at the bottom, the box follows.
    QScrollBar* bar = verticalScrollBar();
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar](int) {
        if (!m_bMoving)
            m_bFollow = bar->sliderPosition() >= bar->maximum();
    });
    connect(bar, &QAbstractSlider::valueChanged, this, [this](int) {
        if (!m_bMoving)
            m_bFollow = AtBottom();
    });
}

bool CQtRowBox::AtBottom() const
{
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void CQtRowBox::Update(const wsys::RowChange& change)
{
    CMoving moving(m_bMoving);
    if (change.restyle) {
        Restyle(change);
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    const int top = bar->value();
    const int left = horizontalScrollBar()->value();
    QTextDocument* doc = document();
    // An empty document has one empty block; the change says whether that
    // is a row (every change but a replacement keeps one).
    const int kept = doc->blockCount() - static_cast<int>(change.removed);
    if (change.replace || kept < 1) {
        setPlainText(Rows(change.added));
        // The history cleared: nothing to stay with.
        if (change.added.empty())
            m_bFollow = true;
    } else {
        QTextCursor c(doc);
        c.beginEditBlock();
        if (change.removed > 0) {
            c.setPosition(doc->findBlockByNumber(static_cast<int>(change.removed)).position(),
                          QTextCursor::KeepAnchor);
            c.removeSelectedText();
        }
        // A selection or caret at the very end would grow with rows added
        // there: it keeps where it was.
        const int anchor = textCursor().anchor();
        const int position = textCursor().position();
        if (!change.added.empty()) {
            c.movePosition(QTextCursor::End);
            c.insertBlock();
            c.insertText(Rows(change.added));
        }
        c.endEditBlock();
        if (textCursor().anchor() != anchor || textCursor().position() != position) {
            QTextCursor user(doc);
            user.setPosition(anchor);
            user.setPosition(position, QTextCursor::KeepAnchor);
            setTextCursor(user);
        }
    }
    if (m_bFollow) {
        // Where the font fits fewer rows than the box is given, the oldest
        // go out of sight first.
        bar->setValue(bar->maximum());
        horizontalScrollBar()->setValue(0);
    } else {
        // The rows in view stay, however many left above them.
        const int removed = change.replace ? 0 : static_cast<int>(change.removed);
        bar->setValue(std::max(0, top - removed));
        horizontalScrollBar()->setValue(left);
    }
}

void CQtRowBox::Restyle(const wsys::RowChange& change)
{
    QScrollBar* bar = verticalScrollBar();
    const int top = bar->value();
    const int left = horizontalScrollBar()->value();
    const QTextCursor before = textCursor();
    const bool selected = before.hasSelection();
    const FromEnd anchor = ToFromEnd(document(), before.anchor());
    const FromEnd position = ToFromEnd(document(), before.position());

    setPlainText(Rows(change.added));

    QTextCursor after(document());
    after.setPosition(FromFromEnd(document(), anchor));
    after.setPosition(FromFromEnd(document(), position),
                      selected ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    setTextCursor(after);
    if (m_bFollow) {
        bar->setValue(bar->maximum());
        horizontalScrollBar()->setValue(0);
    } else {
        bar->setValue(top);
        horizontalScrollBar()->setValue(left);
    }
}

void CQtRowBox::ShowMatch(int from, int to)
{
    {
        CMoving moving(m_bMoving);
        QTextCursor c(document());
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        setTextCursor(c);
        ensureCursorVisible();
    }
    m_bFollow = false;
}

std::optional<QAbstractSlider::SliderAction> CQtRowBox::ViewKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool plain = mods == Qt::NoModifier;
    const bool ctrl = mods == Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up:
        return plain ? std::optional(QAbstractSlider::SliderSingleStepSub) : std::nullopt;
    case Qt::Key_Down:
        return plain ? std::optional(QAbstractSlider::SliderSingleStepAdd) : std::nullopt;
    case Qt::Key_PageUp:
        return plain ? std::optional(QAbstractSlider::SliderPageStepSub) : std::nullopt;
    case Qt::Key_PageDown:
        return plain ? std::optional(QAbstractSlider::SliderPageStepAdd) : std::nullopt;
    case Qt::Key_Home:
        return plain || ctrl ? std::optional(QAbstractSlider::SliderToMinimum) : std::nullopt;
    case Qt::Key_End:
        return plain || ctrl ? std::optional(QAbstractSlider::SliderToMaximum) : std::nullopt;
    default:
        return std::nullopt;
    }
}

void CQtRowBox::keyPressEvent(QKeyEvent* event)
{
    // The keys move the view, as in a log viewer; a caret the user cannot
    // see would otherwise pull the view to it.
    if (const auto action = ViewKey(event)) {
        verticalScrollBar()->triggerAction(*action);
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
