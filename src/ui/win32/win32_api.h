// windows.h for the window system, without the macros that would rename
// names of the portable code (LoadIcon, LoadString, res::IDOK, res::IDCANCEL;
// the last two have the same values there). NOMINMAX and the rest come with
// the target (wendrel_win32_defines).
#pragma once

#include <windows.h>
#include <commctrl.h>

#undef LoadIcon
#undef LoadString
#undef IDOK
#undef IDCANCEL
