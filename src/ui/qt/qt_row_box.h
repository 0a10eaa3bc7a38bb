// The history box on Qt: a read-only QPlainTextEdit whose blocks are the
// rows, edited in place.
#pragma once

#include "row_change.h"

class QPlainTextEdit;

// Applies `change` in one edit: the top blocks removed, new blocks
// appended, so that the user's selection on rows still shown stays. The
// newest row is then in sight.
void UpdateRowBox(QPlainTextEdit* box, const wsys::RowChange& change);
