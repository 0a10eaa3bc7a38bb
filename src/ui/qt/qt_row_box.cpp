#include "qt_row_box.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>

namespace {

using Moving = wsys::CFollowRule::CProgramMove;

// Characters at which Qt's text document starts a new block (or, U+2028,
// a new line within one): in a row they would split it. Each becomes the
// stand-in for a character that cannot be shown, one unit for one, so
// that positions stay those of the rows.
bool SplitsRows(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == u'\u2028' || c == u'\u2029' || c == u'\uFDD0' ||
           c == u'\uFDD1';
}

void AppendRow(QString& out, const std::u16string& row)
{
    const auto splits = std::find_if(row.begin(), row.end(), SplitsRows);
    if (splits == row.end()) {
        out += QStringView(row.data(), static_cast<qsizetype>(row.size()));
        return;
    }
    const qsizetype at = out.size() + (splits - row.begin());
    out += QStringView(row.data(), static_cast<qsizetype>(row.size()));
    for (qsizetype i = at; i < out.size(); ++i) {
        if (SplitsRows(out.at(i).unicode()))
            out[i] = QChar(QChar::ReplacementCharacter);
    }
}

QString Joined(const std::vector<std::u16string>& rows)
{
    QString text;
    qsizetype size = 0;
    for (const std::u16string& row : rows)
        size += static_cast<qsizetype>(row.size()) + 1;
    text.reserve(size);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i)
            text += QLatin1Char('\n');
        AppendRow(text, rows[i]);
    }
    return text;
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

}  // namespace

CQtRowBox::CQtRowBox(QWidget* parent)
    : QPlainTextEdit(parent), m_zoom(parent && parent->font().pointSize() > 0
                                         ? parent->font().pointSize()
                                         : 9)
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
        m_follow.UserMoved(bar->sliderPosition() >= bar->maximum());
    });
    connect(bar, &QAbstractSlider::valueChanged, this,
            [this](int) { m_follow.UserMoved(AtBottom()); });
}

bool CQtRowBox::AtBottom() const
{
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void CQtRowBox::ShowBottom()
{
    // Where the font fits fewer rows than the box is given, the oldest go
    // out of sight first.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    horizontalScrollBar()->setValue(0);
}

void CQtRowBox::Update(const wsys::RowChange& change)
{
    Moving moving(m_follow);
    if (change.restyle) {
        Restyle(change);
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    const int top = bar->value();
    const int left = horizontalScrollBar()->value();
    QTextDocument* doc = document();
    const int kept = m_nRows - static_cast<int>(change.removed);
    if (change.replace || kept < 1) {
        setPlainText(Joined(change.added));
        m_rowLengths.clear();
        for (const std::u16string& row : change.added)
            m_rowLengths.push_back(static_cast<int>(row.size()));
        m_nRows = static_cast<int>(change.added.size());
    } else {
        // A selection or caret at the very end would grow with rows added
        // there: it keeps where it was (less what went at the top).
        int anchor = textCursor().anchor();
        int position = textCursor().position();
        // Added first: the box's scroll range is computed from the bottom
        // rows after each edit, which lays them out; removed first, that
        // would lay out rows about to scroll away. Each edit is a block of
        // its own: inside one, a cursor does not lay out the row it stands
        // in.
        if (!change.added.empty()) {
            QString text;
            for (const std::u16string& row : change.added) {
                text += QLatin1Char('\n');
                AppendRow(text, row);
                m_rowLengths.push_back(static_cast<int>(row.size()));
            }
            QTextCursor c(doc);
            c.beginEditBlock();
            c.movePosition(QTextCursor::End);
            c.insertText(text);
            c.endEditBlock();
        }
        if (change.removed > 0) {
            const int cut =
                doc->findBlockByNumber(static_cast<int>(change.removed)).position();
            QTextCursor c(doc);
            c.beginEditBlock();
            c.setPosition(cut, QTextCursor::KeepAnchor);
            c.removeSelectedText();
            c.endEditBlock();
            anchor = std::max(0, anchor - cut);
            position = std::max(0, position - cut);
            m_rowLengths.erase(m_rowLengths.begin(),
                               m_rowLengths.begin() + static_cast<std::ptrdiff_t>(change.removed));
        }
        m_nRows = kept + static_cast<int>(change.added.size());
        if (textCursor().anchor() != anchor || textCursor().position() != position) {
            QTextCursor user(doc);
            user.setPosition(anchor);
            user.setPosition(position, QTextCursor::KeepAnchor);
            setTextCursor(user);
        }
    }
    if (doc->blockCount() != std::max(1, m_nRows))
        Rebuild();
    m_follow.Applied(change);
    if (m_follow.Follows()) {
        ShowBottom();
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

    setPlainText(Joined(change.added));
    m_rowLengths.clear();
    for (const std::u16string& row : change.added)
        m_rowLengths.push_back(static_cast<int>(row.size()));
    m_nRows = static_cast<int>(change.added.size());
    if (document()->blockCount() != std::max(1, m_nRows))
        Rebuild();

    QTextCursor after(document());
    after.setPosition(FromFromEnd(document(), anchor));
    after.setPosition(FromFromEnd(document(), position),
                      selected ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    setTextCursor(after);
    if (m_follow.Follows()) {
        ShowBottom();
    } else {
        bar->setValue(top);
        horizontalScrollBar()->setValue(left);
    }
}

void CQtRowBox::Rebuild()
{
    // Whatever split a row is in the text as a line break: cut at the
    // rows' own lengths instead, and the splitter shown as a stand-in.
    std::fprintf(stderr, "wendrel: the history box had %d blocks for %d rows; rebuilt\n",
                 document()->blockCount(), m_nRows);
    const QString text = toPlainText();
    QString rows;
    rows.reserve(text.size());
    qsizetype at = 0;
    for (std::size_t i = 0; i < m_rowLengths.size(); ++i) {
        if (i)
            rows += QLatin1Char('\n');
        const QString row = text.mid(at, m_rowLengths[i]);
        AppendRow(rows, row.toStdU16String());
        at += m_rowLengths[i] + 1;
    }
    const int top = verticalScrollBar()->value();
    setPlainText(rows);
    if (!m_follow.Follows())
        verticalScrollBar()->setValue(top);
}

void CQtRowBox::ShowMatch(int from, int to)
{
    {
        Moving moving(m_follow);
        QTextCursor c(document());
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        setTextCursor(c);
        ensureCursorVisible();
    }
    m_follow.MatchShown();
}

// --- zoom ---

void CQtRowBox::Zoom(wsys::CBoxZoom::Step step)
{
    if (m_zoom.Take(step))
        ApplyZoom();
}

void CQtRowBox::ApplyZoom()
{
    Moving moving(m_follow);
    QScrollBar* bar = verticalScrollBar();
    const wsys::CFollowRule::Resized view = m_follow.AfterResize(bar->value());
    QFont f = font();
    // The dialog's own font while not zoomed: it may be a size in pixels.
    if (m_zoom.Zoomed())
        f.setPointSize(m_zoom.Points());
    else
        f = parentWidget() ? parentWidget()->font() : QFont();
    setFont(f);
    // The scroll range counts the rows that fit, which the new font
    // changed: the layout says so now, not on its next turn.
    if (auto* layout = document()->documentLayout())
        emit layout->documentSizeChanged(layout->documentSize());
    if (view.bottom) {
        ShowBottom();
    } else {
        bar->setValue(view.first);
    }
    viewport()->update();
}

std::optional<wsys::CBoxZoom::Step> CQtRowBox::ZoomKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods =
        event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (mods != Qt::ControlModifier)
        return std::nullopt;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Plus:  // with Shift where '+' is shifted, without on the keypad
        return wsys::CBoxZoom::Step::In;
    case Qt::Key_Equal:  // the key that carries '+', unshifted
        return shift ? std::nullopt : std::optional(wsys::CBoxZoom::Step::In);
    case Qt::Key_Minus:
        return shift ? std::nullopt : std::optional(wsys::CBoxZoom::Step::Out);
    case Qt::Key_0:
        return shift ? std::nullopt : std::optional(wsys::CBoxZoom::Step::Reset);
    default:
        return std::nullopt;
    }
}

void CQtRowBox::wheelEvent(QWheelEvent* event)
{
    // Qt's own Ctrl+wheel zoom of a read-only box has no bounds and no way
    // back: the box's steps instead.
    if (event->modifiers() & Qt::ControlModifier) {
        if (m_zoom.Wheel(event->angleDelta().y()))
            ApplyZoom();
        event->accept();
        return;
    }
    QPlainTextEdit::wheelEvent(event);
}

// --- positions as drawn ---

QRect CQtRowBox::CharacterRect(int at) const
{
    const QTextBlock b = document()->findBlock(at);
    if (!b.isValid())
        return {};
    // Laid out on demand, as for drawing.
    const QRectF geometry = blockBoundingGeometry(b).translated(contentOffset());
    const QTextLayout* layout = b.layout();
    const int inBlock = at - b.position();
    const QTextLine line = layout ? layout->lineForTextPosition(inBlock) : QTextLine();
    if (!line.isValid())
        return {};
    const QPointF origin = geometry.topLeft() + layout->position();
    const qreal x = line.cursorToX(inBlock);
    // The block's end (its line break) is as wide as a space.
    const qreal next = inBlock < b.length() - 1 ? line.cursorToX(inBlock + 1)
                                                : x + fontMetrics().horizontalAdvance(QLatin1Char(' '));
    const qreal left = std::min(x, next);
    return QRectF(origin.x() + left, origin.y() + line.y(), std::abs(next - x), line.height())
        .toAlignedRect();
}

int CQtRowBox::PositionAt(QPoint point) const
{
    if (!viewport()->rect().contains(point))
        return -1;
    QPointF offset = contentOffset();
    for (QTextBlock b = firstVisibleBlock(); b.isValid(); b = b.next()) {
        const QRectF r = blockBoundingRect(b).translated(offset);
        if (r.top() > point.y())
            break;
        offset.ry() += r.height();
        if (point.y() >= r.bottom())
            continue;
        const QTextLayout* layout = b.layout();
        const QPointF local = QPointF(point) - r.topLeft() - layout->position();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            if (local.y() < line.y() || local.y() >= line.y() + line.height())
                continue;
            // On a character, not past the row's end.
            const int end = line.textStart() + line.textLength();
            if (local.x() < line.cursorToX(line.textStart()) || local.x() >= line.cursorToX(end))
                return -1;
            return b.position() + line.xToCursor(local.x(), QTextLine::CursorOnCharacter);
        }
        return -1;
    }
    return -1;
}

void CQtRowBox::BringIntoView(int at)
{
    QScrollBar* bar = verticalScrollBar();
    const int row = document()->findBlock(at).blockNumber();
    if (row < bar->value())
        bar->setValue(row);
    else if (row >= bar->value() + bar->pageStep())
        bar->setValue(row - bar->pageStep() + 1);
}

// --- keys ---

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
    if (const auto step = ZoomKey(event)) {
        Zoom(*step);
        event->accept();
        return;
    }
    // The keys move the view, as in a log viewer; a caret the user cannot
    // see would otherwise pull the view to it.
    if (const auto action = ViewKey(event)) {
        verticalScrollBar()->triggerAction(*action);
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
