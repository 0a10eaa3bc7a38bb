#include "win32_row_box.h"

#include <algorithm>

#include "win32_text.h"

namespace {

void Replace(HWND box, DWORD from, DWORD to, const std::u16string& text)
{
    SendMessageW(box, EM_SETSEL, from, static_cast<LPARAM>(to));
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(W(text)));
}

// The newest row in view, and the oldest that fit above it.
void ShowNewestRow(HWND box)
{
    const int lineHeight = WithControlFont(box, [](HDC dc) {
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        return static_cast<int>(tm.tmHeight);
    });
    RECT fmt{};
    SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fmt));
    const int visible =
        std::max(1, static_cast<int>(fmt.bottom - fmt.top) / std::max(1, lineHeight));
    const int lines = static_cast<int>(SendMessageW(box, EM_GETLINECOUNT, 0, 0));
    const int first = static_cast<int>(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0));
    const int target = std::max(0, lines - visible);
    if (target != first)
        SendMessageW(box, EM_LINESCROLL, 0, target - first);
}

}  // namespace

void UpdateRowBox(HWND box, const wsys::RowChange& change)
{
    DWORD selStart = 0, selEnd = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                 reinterpret_cast<LPARAM>(&selEnd));
    SendMessageW(box, WM_SETREDRAW, FALSE, 0);

    // Every change but a replacement keeps a line; one that keeps none
    // replaces all the same.
    const LRESULT cut = change.replace ? -1 : SendMessageW(box, EM_LINEINDEX, change.removed, 0);
    if (cut < 0) {
        SetWindowTextW(box, W(wsys::JoinRows(change.added, u"\r\n")));
        selStart = selEnd = 0;
    } else {
        const DWORD removed = static_cast<DWORD>(cut);
        if (removed > 0)
            Replace(box, 0, removed, u"");
        if (!change.added.empty()) {
            const DWORD end = static_cast<DWORD>(GetWindowTextLengthW(box));
            Replace(box, end, end, u"\r\n" + wsys::JoinRows(change.added, u"\r\n"));
        }
        selStart = selStart > removed ? selStart - removed : 0;
        selEnd = selEnd > removed ? selEnd - removed : 0;
    }

    // Selecting may scroll to the caret, as appending did: the view then
    // goes back to the rows' start and the newest row.
    SendMessageW(box, EM_SETSEL, selStart, static_cast<LPARAM>(selEnd));
    SendMessageW(box, WM_HSCROLL, SB_LEFT, 0);
    ShowNewestRow(box);

    SendMessageW(box, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(box, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}

void RecomputeRowBoxMetrics(HWND box) { ShowNewestRow(box); }
