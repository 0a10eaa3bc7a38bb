// The history box as assistive technology sees it: its text, selection
// and caret, and its characters' positions where they are drawn. Qt's own
// interface for a plain-text box puts every row at its block's origin
// (all at the top) and answers no offset at a point, which a magnifier
// that follows the text and a screen reader's mouse review rely on.
#pragma once

#include <QAccessibleWidget>

class CQtRowBox;

class CQtRowBoxAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit CQtRowBoxAccessible(CQtRowBox* box);

    void* interface_cast(QAccessible::InterfaceType t) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;

    // QAccessibleTextInterface, in document positions (a row's end is one
    // character, "\n").
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    CQtRowBox* Box() const;
};
