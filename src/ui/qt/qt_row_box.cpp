#include "qt_row_box.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>

namespace {

void ReplaceRows(QPlainTextEdit* edit, const QString& text)
{
    QTextDocument* doc = edit->document();
    QStringList shown;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        shown.append(b.text());
    const QStringList rows = text.split(QLatin1Char('\n'));
    int gone = 0;
    for (; gone < shown.size(); ++gone) {
        const int kept = shown.size() - gone;
        if (kept > rows.size())
            continue;
        bool same = true;
        for (int i = 0; i < kept && same; ++i)
            same = shown.at(gone + i) == rows.at(i);
        if (same)
            break;
    }
    if (gone == shown.size()) {
        edit->setPlainText(text);
        return;
    }
    QTextCursor c(doc);
    c.beginEditBlock();
    if (gone > 0) {
        c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, gone);
        c.removeSelectedText();
    }
    c.movePosition(QTextCursor::End);
    for (int i = shown.size() - gone; i < rows.size(); ++i) {
        c.insertBlock();
        c.insertText(rows.at(i));
    }
    c.endEditBlock();
}

}  // namespace

void SetRowBoxText(QPlainTextEdit* box, const QString& text)
{
    ReplaceRows(box, text);
    // The newest row is always in sight: where the font fits fewer rows
    // than the box is given, the oldest go out of sight first.
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    box->horizontalScrollBar()->setValue(0);
}
