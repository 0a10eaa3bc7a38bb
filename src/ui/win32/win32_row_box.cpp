#include "win32_row_box.h"

#include <algorithm>
#include <utility>

#include "win32_text.h"

namespace {

constexpr UINT_PTR kSubclassId = 2;
// Where the box keeps its row box, for code that has the window alone (a
// property: not every import library has GetWindowSubclass).
constexpr wchar_t kProperty[] = L"Wendrel.RowBox";

bool Held(int key) { return GetKeyState(key) < 0; }

}  // namespace

CWin32RowBox::CWin32RowBox(HWND box, std::function<void(int)> onCommand, int dialogPoints)
    : m_hBox(box), m_onCommand(std::move(onCommand)), m_zoom(dialogPoints)
{
    m_hDialogFont = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
    SetWindowSubclass(box, BoxProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    SetPropW(box, kProperty, this);
    // A box of rows holds what it is given, not the 30,000 units an edit
    // control takes at first: 1000 rows with their times are 80,000.
    SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
    const std::u16string text = WindowText(box);
    m_nRows = text.empty() ? 0 : static_cast<std::size_t>(LineCount());
    RecomputeMetrics();
}

CWin32RowBox::~CWin32RowBox()
{
    if (m_hBox) {
        RemovePropW(m_hBox, kProperty);
        RemoveWindowSubclass(m_hBox, BoxProc, kSubclassId);
        if (m_hZoomFont)
            SendMessageW(m_hBox, WM_SETFONT, reinterpret_cast<WPARAM>(m_hDialogFont), FALSE);
    }
    if (m_hZoomFont)
        DeleteObject(m_hZoomFont);
}

CWin32RowBox* CWin32RowBox::Of(HWND box)
{
    return box ? static_cast<CWin32RowBox*>(GetPropW(box, kProperty)) : nullptr;
}

void RecomputeRowBoxMetrics(HWND box)
{
    if (CWin32RowBox* rows = CWin32RowBox::Of(box))
        rows->RecomputeMetrics();
}

// --- what the box shows ---

void CWin32RowBox::Update(const wsys::RowChange& change)
{
    if (!m_hBox || change.Empty())
        return;
    m_bUpdating = true;
    const View before = ReadView();
    const bool bar = GetWindowLongW(m_hBox, GWL_STYLE) & WS_VSCROLL;
    // What waits to be drawn is not on the screen yet.
    const bool pending = GetUpdateRect(m_hBox, nullptr, FALSE);
    SetRedraw(false);

    View after = before;
    Carried carried;
    const bool restyle = change.replace && change.restyle && m_nRows > 0 &&
                         change.added.size() == m_nRows;
    if (restyle) {
        // The same rows told otherwise: a position keeps its row and its
        // distance from the row's end (the time goes in front).
        const RowPlace start = PlaceOf(before.selStart), end = PlaceOf(before.selEnd);
        SetWindowTextW(m_hBox, W(wsys::JoinRows(change.added, u"\r\n")));
        after.selStart = PositionOf(start);
        after.selEnd = std::max(after.selStart, PositionOf(end));
    } else if (change.replace || m_nRows == 0 || change.removed >= m_nRows) {
        SetWindowTextW(m_hBox, W(wsys::JoinRows(change.added, u"\r\n")));
        m_nRows = change.added.size();
        // Nothing of what was in view is left: the view starts at the top.
        after = View{};
    } else {
        const DWORD cut = static_cast<DWORD>(SendMessageW(m_hBox, EM_LINEINDEX, change.removed, 0));
        if (cut > 0)
            Replace(0, cut, u"");
        if (!change.added.empty()) {
            const DWORD end = static_cast<DWORD>(GetWindowTextLengthW(m_hBox));
            Replace(end, end, u"\r\n" + wsys::JoinRows(change.added, u"\r\n"));
        }
        const int removed = static_cast<int>(change.removed);
        const int kept = static_cast<int>(m_nRows - change.removed);
        m_nRows = m_nRows - change.removed + change.added.size();
        after.selStart = before.selStart > cut ? before.selStart - cut : 0;
        after.selEnd = before.selEnd > cut ? before.selEnd - cut : 0;
        after.first = std::max(0, before.first - removed);
        carried = {before.first >= removed, before.first - removed, kept};
    }

    m_follow.Applied(change);
    SendMessageW(m_hBox, EM_SETSEL, after.selStart, static_cast<LPARAM>(after.selEnd));
    if (m_follow.Follows()) {
        ShowBottom();
    } else {
        ScrollToLine(after.first);
        ScrollToX(after.xOffset);
    }
    SyncScrollBar();
    // What is on the screen is of use only as it was: all drawn, from the
    // same side, beside the same scroll bar.
    carried.ok = carried.ok && !pending && XOffset() == before.xOffset &&
                 bar == static_cast<bool>(GetWindowLongW(m_hBox, GWL_STYLE) & WS_VSCROLL);

    SetRedraw(true);
    Redraw(carried);
    m_bUpdating = false;
}

// Rows still on the screen are moved there, not drawn again: only what
// shows for the first time is. While the box has the focus its caret is
// in the picture, and all of it is drawn.
void CWin32RowBox::Redraw(const Carried& carried)
{
    const int first = FirstLine();
    const int shift = first - carried.oldTop;  // rows the kept ones move up
    const int slots = m_nRowsInView + 1;        // the partly shown row too
    int valid = 0;  // slots from the top that show the right row already
    if (carried.ok && shift >= 0 && shift < m_nRowsInView &&
        (shift == 0 || GetFocus() != m_hBox))
        valid = std::min(slots - (shift ? shift + 1 : 0), carried.kept - first);
    if (valid <= 0) {
        RedrawWindow(m_hBox, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
        return;
    }
    RECT fmt{}, client{};
    SendMessageW(m_hBox, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fmt));
    GetClientRect(m_hBox, &client);
    if (shift > 0)
        ScrollWindowEx(m_hBox, 0, -shift * m_nRowHeight, &fmt, &fmt, nullptr, nullptr,
                       SW_INVALIDATE | SW_ERASE);
    if (valid < slots) {
        const RECT fresh{client.left, fmt.top + valid * m_nRowHeight, client.right, client.bottom};
        InvalidateRect(m_hBox, &fresh, TRUE);
    }
    // The scroll bar, which the edit control set while drawing was off.
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    if (GetScrollInfo(m_hBox, SB_VERT, &si))
        SetScrollInfo(m_hBox, SB_VERT, &si, TRUE);
}

void CWin32RowBox::ShowMatch(std::size_t start, std::size_t end)
{
    m_follow.MatchShown();
    // Its start first, then its end: a match that fits is wholly in view.
    SendMessageW(m_hBox, EM_SETSEL, start, static_cast<LPARAM>(start));
    SendMessageW(m_hBox, EM_SCROLLCARET, 0, 0);
    SendMessageW(m_hBox, EM_SETSEL, start, static_cast<LPARAM>(end));
    SendMessageW(m_hBox, EM_SCROLLCARET, 0, 0);
}

void CWin32RowBox::RecomputeMetrics()
{
    if (!m_hBox || m_bInMetrics)
        return;
    m_bInMetrics = true;
    const TEXTMETRICW tm = WithControlFont(m_hBox, [](HDC dc) {
        TEXTMETRICW m{};
        GetTextMetricsW(dc, &m);
        return m;
    });
    m_nRowHeight = std::max<int>(1, tm.tmHeight);
    m_nCharWidth = std::max<int>(1, tm.tmAveCharWidth);
    RECT fmt{};
    SendMessageW(m_hBox, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fmt));
    m_nRowsInView = std::max(1, static_cast<int>(fmt.bottom - fmt.top) / m_nRowHeight);
    const bool updating = std::exchange(m_bUpdating, true);
    SyncScrollBar();
    if (m_follow.Follows())
        ShowBottom();
    m_bUpdating = updating;
    m_bInMetrics = false;
}

// --- the view ---

CWin32RowBox::RowPlace CWin32RowBox::PlaceOf(DWORD at) const
{
    const int row = static_cast<int>(SendMessageW(m_hBox, EM_LINEFROMCHAR, at, 0));
    const LRESULT start = SendMessageW(m_hBox, EM_LINEINDEX, row, 0);
    const LRESULT length = SendMessageW(m_hBox, EM_LINELENGTH, start, 0);
    return {row, static_cast<long>(start + length) - static_cast<long>(at)};
}

DWORD CWin32RowBox::PositionOf(RowPlace place) const
{
    const LRESULT start = SendMessageW(m_hBox, EM_LINEINDEX, place.row, 0);
    const LRESULT length = SendMessageW(m_hBox, EM_LINELENGTH, start, 0);
    return static_cast<DWORD>(start + std::max<long>(0, length - place.fromEnd));
}

CWin32RowBox::View CWin32RowBox::ReadView() const
{
    View v;
    SendMessageW(m_hBox, EM_GETSEL, reinterpret_cast<WPARAM>(&v.selStart),
                 reinterpret_cast<LPARAM>(&v.selEnd));
    v.first = FirstLine();
    v.xOffset = XOffset();
    return v;
}

int CWin32RowBox::LineCount() const
{
    return static_cast<int>(SendMessageW(m_hBox, EM_GETLINECOUNT, 0, 0));
}

int CWin32RowBox::FirstLine() const
{
    return static_cast<int>(SendMessageW(m_hBox, EM_GETFIRSTVISIBLELINE, 0, 0));
}

// The text's first character sits that far left of the formatting
// rectangle.
int CWin32RowBox::XOffset() const
{
    if (GetWindowTextLengthW(m_hBox) == 0)
        return 0;
    const LRESULT pos = SendMessageW(m_hBox, EM_POSFROMCHAR, 0, 0);
    if (pos == -1)
        return 0;
    RECT fmt{};
    SendMessageW(m_hBox, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fmt));
    return std::max(0, static_cast<int>(fmt.left) - static_cast<short>(LOWORD(pos)));
}

bool CWin32RowBox::AtBottom() const { return FirstLine() + m_nRowsInView >= LineCount(); }

void CWin32RowBox::ScrollToLine(int line)
{
    line = std::clamp(line, 0, std::max(0, LineCount() - m_nRowsInView));
    if (const int now = FirstLine(); now != line)
        SendMessageW(m_hBox, EM_LINESCROLL, 0, line - now);
}

// The edit control scrolls sideways by average characters: the nearest.
void CWin32RowBox::ScrollToX(int xOffset)
{
    if (XOffset() == xOffset)
        return;
    SendMessageW(m_hBox, WM_HSCROLL, SB_LEFT, 0);
    if (xOffset > 0)
        SendMessageW(m_hBox, EM_LINESCROLL, (xOffset + m_nCharWidth / 2) / m_nCharWidth, 0);
}

// The newest row in view and the oldest that fit above it, from the rows'
// start.
void CWin32RowBox::ShowBottom()
{
    ScrollToLine(LineCount() - m_nRowsInView);
    SendMessageW(m_hBox, WM_HSCROLL, SB_LEFT, 0);
}

void CWin32RowBox::SyncScrollBar()
{
    const bool want = m_nRows > static_cast<std::size_t>(m_nRowsInView);
    const bool shown = GetWindowLongW(m_hBox, GWL_STYLE) & WS_VSCROLL;
    if (want != shown)
        ShowScrollBar(m_hBox, SB_VERT, want);
}

void CWin32RowBox::SetRedraw(bool on)
{
    SendMessageW(m_hBox, WM_SETREDRAW, on, 0);
    // An edit control that ignores the message (Wine's) gets the switch
    // the message would turn, the window's visible style, which every
    // drawing honours. Set as a style, so that the window's drawing
    // surfaces learn of it too (and what waits to be drawn stays).
    const LONG style = GetWindowLongW(m_hBox, GWL_STYLE);
    if (!on) {
        m_bForcedRedraw = style & WS_VISIBLE;
        if (m_bForcedRedraw)
            SetWindowLongW(m_hBox, GWL_STYLE, style & ~WS_VISIBLE);
    } else if (std::exchange(m_bForcedRedraw, false)) {
        SetWindowLongW(m_hBox, GWL_STYLE, style | WS_VISIBLE);
    }
}

void CWin32RowBox::Replace(DWORD from, DWORD to, const std::u16string& text)
{
    SendMessageW(m_hBox, EM_SETSEL, from, static_cast<LPARAM>(to));
    SendMessageW(m_hBox, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(W(text)));
}

// --- the user ---

LRESULT CALLBACK CWin32RowBox::BoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                       UINT_PTR subclassId, DWORD_PTR ref)
{
    auto* self = reinterpret_cast<CWin32RowBox*>(ref);
    if (msg == WM_NCDESTROY) {
        RemovePropW(hwnd, kProperty);
        RemoveWindowSubclass(hwnd, BoxProc, subclassId);
        self->m_hBox = nullptr;
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    return self->OnMessage(msg, wp, lp);
}

LRESULT CWin32RowBox::OnMessage(UINT msg, WPARAM wp, LPARAM lp)
{
    HWND box = m_hBox;
    switch (msg) {
    case WM_CONTEXTMENU:
        if (m_menu.Empty())
            break;
        m_menu.Show(box, lp, m_onCommand);
        return 0;
    case WM_SETFONT:
        if (!m_bSettingFont) {
            // The dialog's font (a new scale): the zoom carries on from it.
            m_hDialogFont = reinterpret_cast<HFONT>(wp);
            if (m_zoom.Zoomed()) {
                ApplyZoom();
                return 0;
            }
        }
        [[fallthrough]];
    case WM_SIZE: {
        const LRESULT r = DefSubclassProc(box, msg, wp, lp);
        RecomputeMetrics();
        return r;
    }
    case WM_KEYUP:
        // The menu key opens the menu once released, wherever the system
        // would (Wine: nowhere).
        if (wp == VK_APPS && !m_menu.Empty()) {
            SendMessageW(box, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box), -1);
            return 0;
        }
        break;
    case WM_CHAR:
        if (std::exchange(m_bZoomKeyDown, false) && wp < 0x20)
            return 0;
        break;
    case WM_KEYDOWN:
        if (wp == VK_APPS && !m_menu.Empty())
            return 0;
        m_bZoomKeyDown = false;
        if (!m_bUpdating && OnZoomKey(wp)) {
            m_bZoomKeyDown = true;
            return 0;
        }
        if (!m_bUpdating && OnViewKey(wp))
            return 0;
        [[fallthrough]];
    case WM_MOUSEWHEEL:
        // The edit control has no zoom of its own.
        if (msg == WM_MOUSEWHEEL && (GET_KEYSTATE_WPARAM(wp) & MK_CONTROL)) {
            if (m_zoom.Wheel(GET_WHEEL_DELTA_WPARAM(wp)))
                ApplyZoom();
            return 0;
        }
        [[fallthrough]];
    case WM_VSCROLL:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_TIMER: {
        if (m_bUpdating)
            break;
        const int first = FirstLine();
        const LRESULT r = DefSubclassProc(box, msg, wp, lp);
        if (m_hBox)
            AfterUserScroll(first, msg == WM_VSCROLL || msg == WM_MOUSEWHEEL);
        return r;
    }
    default:
        break;
    }
    return DefSubclassProc(box, msg, wp, lp);
}

// Without Shift the keys move the view, as in a viewer; with it they move
// the edit control's caret and so the selection.
bool CWin32RowBox::OnViewKey(WPARAM key)
{
    if (Held(VK_SHIFT) || Held(VK_MENU))
        return false;
    int action;
    bool sideways = false;
    switch (key) {
    case VK_UP: action = SB_LINEUP; break;
    case VK_DOWN: action = SB_LINEDOWN; break;
    case VK_PRIOR: action = SB_PAGEUP; break;
    case VK_NEXT: action = SB_PAGEDOWN; break;
    case VK_HOME: action = SB_TOP; break;
    case VK_END: action = SB_BOTTOM; break;
    case VK_LEFT: action = SB_LINELEFT; sideways = true; break;
    case VK_RIGHT: action = SB_LINERIGHT; sideways = true; break;
    default: return false;
    }
    const int first = FirstLine();
    if (sideways) {
        SendMessageW(m_hBox, WM_HSCROLL, static_cast<WPARAM>(action), 0);
        return true;
    }
    SendMessageW(m_hBox, WM_VSCROLL, static_cast<WPARAM>(action), 0);
    // At either end the rows are seen from their start.
    if (action == SB_TOP || action == SB_BOTTOM)
        SendMessageW(m_hBox, WM_HSCROLL, SB_LEFT, 0);
    AfterUserScroll(first, true);
    return true;
}

// Scrolled by the user (or moved by the caret to another row): the box
// follows again once the view is back at the bottom, and stops once it
// left it.
void CWin32RowBox::AfterUserScroll(int firstBefore, bool scrolled)
{
    if (scrolled || FirstLine() != firstBefore)
        m_follow.UserMoved(AtBottom());
}
