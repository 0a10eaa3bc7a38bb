#include "qt_row_box_accessible.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

#include "qt_row_box.h"

CQtRowBoxAccessible::CQtRowBoxAccessible(CQtRowBox* box)
    : QAccessibleWidget(box, QAccessible::EditableText)
{
}

CQtRowBox* CQtRowBoxAccessible::Box() const { return static_cast<CQtRowBox*>(widget()); }

void* CQtRowBoxAccessible::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

QAccessible::State CQtRowBoxAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.multiLine = true;
    s.readOnly = Box()->isReadOnly();
    s.editable = !Box()->isReadOnly();
    s.selectableText = true;
    return s;
}

QString CQtRowBoxAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return Box()->toPlainText();
    return QAccessibleWidget::text(t);
}

void CQtRowBoxAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
    const QTextCursor c = Box()->textCursor();
    if (selectionIndex != 0 || !c.hasSelection())
        return;
    *startOffset = c.selectionStart();
    *endOffset = c.selectionEnd();
}

int CQtRowBoxAccessible::selectionCount() const { return Box()->textCursor().hasSelection() ? 1 : 0; }

void CQtRowBoxAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void CQtRowBoxAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex != 0)
        return;
    QTextCursor c = Box()->textCursor();
    c.clearSelection();
    Box()->setTextCursor(c);
}

void CQtRowBoxAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0)
        return;
    const int last = characterCount();
    QTextCursor c(Box()->document());
    c.setPosition(std::clamp(startOffset, 0, last));
    c.setPosition(std::clamp(endOffset, 0, last), QTextCursor::KeepAnchor);
    Box()->setTextCursor(c);
}

int CQtRowBoxAccessible::cursorPosition() const { return Box()->textCursor().position(); }

void CQtRowBoxAccessible::setCursorPosition(int position)
{
    QTextCursor c(Box()->document());
    c.setPosition(std::clamp(position, 0, characterCount()));
    Box()->setTextCursor(c);
}

QString CQtRowBoxAccessible::text(int startOffset, int endOffset) const
{
    const int last = characterCount();
    startOffset = std::clamp(startOffset, 0, last);
    endOffset = endOffset < 0 ? last : std::clamp(endOffset, startOffset, last);
    QTextCursor c(Box()->document());
    c.setPosition(startOffset);
    c.setPosition(endOffset, QTextCursor::KeepAnchor);
    return c.selectedText().replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
}

int CQtRowBoxAccessible::characterCount() const
{
    return std::max(0, Box()->document()->characterCount() - 1);
}

QRect CQtRowBoxAccessible::characterRect(int offset) const
{
    CQtRowBox* box = Box();
    if (offset < 0 || offset > characterCount())
        return {};
    const QRect r = box->CharacterRect(offset);
    if (r.isNull())
        return {};
    return QRect(box->viewport()->mapToGlobal(r.topLeft()), r.size());
}

int CQtRowBoxAccessible::offsetAtPoint(const QPoint& point) const
{
    CQtRowBox* box = Box();
    return box->PositionAt(box->viewport()->mapFromGlobal(point));
}

void CQtRowBoxAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    (void)endIndex;
    Box()->BringIntoView(std::clamp(startIndex, 0, characterCount()));
}

QString CQtRowBoxAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    // One font and colour throughout: the attributes span the whole text.
    *startOffset = 0;
    *endOffset = characterCount();
    if (offset < 0 || offset > *endOffset) {
        *startOffset = *endOffset = -1;
        return {};
    }
    const QFont f = Box()->font();
    return QStringLiteral("font-family:\"%1\";font-size:%2pt;")
        .arg(f.family())
        .arg(f.pointSize());
}
