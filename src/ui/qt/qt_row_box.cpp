#include "qt_row_box.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace {

QString Rows(const std::vector<std::u16string>& rows)
{
    return QString::fromStdU16String(wsys::JoinRows(rows, u"\n"));
}

}  // namespace

void UpdateRowBox(QPlainTextEdit* box, const wsys::RowChange& change)
{
    QTextDocument* doc = box->document();
    // An empty document has one empty block; the change says whether that
    // is a row (every change but a replacement keeps one).
    const int kept = doc->blockCount() - static_cast<int>(change.removed);
    if (change.replace || kept < 1) {
        box->setPlainText(Rows(change.added));
    } else {
        QTextCursor c(doc);
        c.beginEditBlock();
        if (change.removed > 0) {
            c.setPosition(doc->findBlockByNumber(static_cast<int>(change.removed)).position(),
                          QTextCursor::KeepAnchor);
            c.removeSelectedText();
        }
        if (!change.added.empty()) {
            c.movePosition(QTextCursor::End);
            c.insertBlock();
            c.insertText(Rows(change.added));
        }
        c.endEditBlock();
    }
    // The newest row is always in sight: where the font fits fewer rows
    // than the box is given, the oldest go out of sight first.
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    box->horizontalScrollBar()->setValue(0);
}
