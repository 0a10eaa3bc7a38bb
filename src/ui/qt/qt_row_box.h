// The history box on Qt: a read-only QPlainTextEdit whose blocks are the
// rows, edited in place.
#pragma once

#include <QString>

class QPlainTextEdit;

// Shows `text` (rows joined by '\n'). Where it and what the box shows
// share rows, the box is edited in place (rows gone at the top removed,
// new ones added at the bottom), so that a selection on rows still shown
// stays where it is. The newest row is then in sight.
void SetRowBoxText(QPlainTextEdit* box, const QString& text);
