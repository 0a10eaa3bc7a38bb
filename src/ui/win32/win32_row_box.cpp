#include "win32_row_box.h"

#include <algorithm>

#include "win32_text.h"

void SetRowBoxText(HWND edit, const std::u16string& text)
{
    DWORD selStart = 0, selEnd = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                 reinterpret_cast<LPARAM>(&selEnd));
    std::u16string old;
    if (selStart != selEnd)
        old = WindowText(edit);

    SendMessageW(edit, WM_SETREDRAW, FALSE, 0);
    SetWindowTextW(edit, W(text));

    if (selStart != selEnd) {
        // The shift is the length of the rows that left at the top: the
        // first row start from which the old text begins the new one.
        for (std::size_t d = 0; d < old.size();) {
            const std::size_t rest = old.size() - d;
            if (text.size() >= rest && text.compare(0, rest, old, d, rest) == 0) {
                if (selEnd > d) {
                    const DWORD s = selStart > d ? static_cast<DWORD>(selStart - d) : 0;
                    SendMessageW(edit, EM_SETSEL, s, static_cast<LPARAM>(selEnd - d));
                }
                break;
            }
            const std::size_t next = old.find(u"\r\n", d);
            if (next == std::u16string::npos)
                break;
            d = next + 2;
        }
    }

    const int lineHeight = WithControlFont(edit, [](HDC dc) {
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        return static_cast<int>(tm.tmHeight);
    });
    RECT fmt{};
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fmt));
    const int visible =
        std::max(1, static_cast<int>(fmt.bottom - fmt.top) / std::max(1, lineHeight));
    const int lines = static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
    const int first = static_cast<int>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
    const int target = std::max(0, lines - visible);
    if (target != first)
        SendMessageW(edit, EM_LINESCROLL, 0, target - first);

    SendMessageW(edit, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(edit, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}
