// The history box on the Windows dialog manager: a read-only multi-line
// edit control whose lines are the rows, edited in place.
#pragma once

#include "win32_api.h"

#include "row_change.h"

// Applies `change`: the top lines cut, new lines appended, a selection the
// user made following its text (and gone once its rows are), the newest
// row in sight, the view at the rows' start.
void UpdateRowBox(HWND box, const wsys::RowChange& change);

// The box's font and size changed (the dialog moved to a monitor of
// another scale): what depends on the row height follows.
void RecomputeRowBoxMetrics(HWND box);
