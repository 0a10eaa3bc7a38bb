// The history box on the Windows dialog manager: a read-only multi-line
// edit control whose lines are the rows.
#pragma once

#include "win32_api.h"

#include <string>

// Shows `text` (rows joined by "\r\n"): the newest rows in view, and a
// selection the user made following its text while rows scroll out at
// the top.
void SetRowBoxText(HWND box, const std::u16string& text);
