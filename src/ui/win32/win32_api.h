// windows.h for the window system, without the macros that would rename
// names of the portable code (LoadIcon, LoadString, res::IDOK, res::IDCANCEL;
// the last two have the same values there).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>

#undef LoadIcon
#undef LoadString
#undef IDOK
#undef IDCANCEL
