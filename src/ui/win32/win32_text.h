// Text between the program (UTF-16 in std::u16string) and Windows' wide
// calls, and the font a control draws with.
#pragma once

#include "win32_api.h"

#include <algorithm>
#include <string>

inline const wchar_t* W(const std::u16string& s)
{
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

inline std::u16string WindowText(HWND h)
{
    const int n = GetWindowTextLengthW(h);
    if (n <= 0)
        return {};
    std::u16string s(static_cast<std::size_t>(n) + 1, u'\0');
    const int got = GetWindowTextW(h, reinterpret_cast<wchar_t*>(s.data()), n + 1);
    s.resize(static_cast<std::size_t>(std::max(got, 0)));
    return s;
}

// `fn(dc)` with the font control `h` draws with selected into `dc`.
template <typename Fn>
auto WithControlFont(HWND h, Fn fn)
{
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    auto result = fn(dc);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    return result;
}
