#include "win32_dialog_window.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "win32_dialog_template.h"
#include "win32_window_system.h"

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string WindowText(HWND h)
{
    const int n = GetWindowTextLengthW(h);
    if (n <= 0)
        return {};
    std::u16string s(static_cast<std::size_t>(n) + 1, u'\0');
    const int got = GetWindowTextW(h, reinterpret_cast<wchar_t*>(s.data()), n + 1);
    s.resize(static_cast<std::size_t>(std::max(got, 0)));
    return s;
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool HasLoneSurrogate(const std::u16string& s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (IsHigh(s[i]) && i + 1 < s.size() && IsLow(s[i + 1]))
            ++i;
        else if (IsHigh(s[i]) || IsLow(s[i]))
            return true;
    }
    return false;
}

// Pixels of the font a control draws with.
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

}  // namespace

CWin32DialogWindow::CWin32DialogWindow(CWin32WindowSystem& ws, const res::DialogTemplate& tmpl,
                                       wsys::IDialogHandler& handler)
    : m_ws(ws), m_tmpl(tmpl), m_handler(handler)
{
}

CWin32DialogWindow::~CWin32DialogWindow()
{
    // RunModal has returned, so the window is gone; anything posted since
    // is dropped here.
    std::vector<std::function<void()>> dropped;
    std::lock_guard<std::mutex> lock(m_postLock);
    m_hPostTarget = nullptr;
    dropped.swap(m_posted);
}

int CWin32DialogWindow::RunModal()
{
    if (m_bEnded)
        return m_nResult;
    HWND owner = m_ws.ActiveDialog();
    // The console owns no window and gets a taskbar button of its own; a
    // box opened from it stays with it.
    const std::vector<std::uint32_t> bytes =
        win32::BuildDialogTemplate(m_tmpl, owner ? 0 : WS_EX_APPWINDOW);
    const INT_PTR r = DialogBoxIndirectParamW(
        m_ws.Instance(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner, DialogProc,
        reinterpret_cast<LPARAM>(this));
    if (r == -1 && !m_bEnded)
        return -1;
    return m_nResult;
}

void CWin32DialogWindow::EndDialog(int result)
{
    m_bEnded = true;
    m_nResult = result;
    if (m_hwnd)
        ::EndDialog(m_hwnd, result);
}

INT_PTR CALLBACK CWin32DialogWindow::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    CWin32DialogWindow* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CWin32DialogWindow*>(lp);
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<CWin32DialogWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (the font, the controls' creation)
    // are the dialog manager's own.
    return self ? self->OnMessage(msg, wp, lp) : FALSE;
}

INT_PTR CWin32DialogWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        OnInit();
        // TRUE: the dialog manager puts the focus on the first control.
        return m_handler.OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        OnCommandMessage(wp, lp);
        return TRUE;
    case WM_SYSCOMMAND:
        if (m_menuIds.count(static_cast<int>(wp & 0xFFF0))) {
            m_handler.OnSysCommand(static_cast<int>(wp), static_cast<long>(lp));
            return TRUE;
        }
        return FALSE;  // the window's own commands: move, minimise, close
    case WM_TIMER: {
        if (!m_bInTimer) {
            m_bInTimer = true;
            m_handler.OnTimer(static_cast<int>(wp));
            m_bInTimer = false;
        }
        // A hand-over whose message could not be posted (a full queue)
        // is not left waiting for the next one.
        bool stuck;
        {
            std::lock_guard<std::mutex> lock(m_postLock);
            stuck = !m_posted.empty() && !m_bPostSignalled;
        }
        if (stuck)
            RunPosted();
        return TRUE;
    }
    case WM_PAINT:
        OnPaintMessage();
        return TRUE;
    case WM_QUERYDRAGICON: {
        const CWin32WindowSystem::Icon* icon = CWin32WindowSystem::ToIcon(m_handler.OnQueryDragIcon());
        return reinterpret_cast<INT_PTR>(icon ? icon->bigIcon : nullptr);
    }
    case kRunPosted:
        RunPosted();
        return TRUE;
    case WM_DESTROY:
        OnGone();
        return FALSE;
    case WM_NCDESTROY:
        SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
        m_hwnd = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void CWin32DialogWindow::OnInit()
{
    m_ws.PushRunning(m_hwnd);
    {
        std::lock_guard<std::mutex> lock(m_postLock);
        m_hPostTarget = m_hwnd;
    }
    for (const res::ControlTemplate& c : m_tmpl.controls) {
        if (c.id == res::IDC_STATIC)
            continue;
        m_kinds[c.id] = c.kind;
        if (c.kind == res::ControlKind::PushButton || c.kind == res::ControlKind::DefPushButton)
            m_buttons.insert(c.id);
        if (c.kind == res::ControlKind::Static) {
            RECT r{0, 0, c.cx, c.cy};
            MapDialogRect(m_hwnd, &r);
            m_staticWidths[c.id] = r.right;
        }
    }
    CenterOnOwner();
}

// Centred on the window that opened it, or on the screen: where a user
// looks for it.
void CWin32DialogWindow::CenterOnOwner()
{
    RECT rc;
    GetWindowRect(m_hwnd, &rc);
    HWND owner = GetWindow(m_hwnd, GW_OWNER);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(owner ? owner : m_hwnd, MONITOR_DEFAULTTONEAREST), &mi);
    RECT area = mi.rcWork;
    if (owner && IsWindowVisible(owner) && !::IsIconic(owner))
        GetWindowRect(owner, &area);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    int x = area.left + (area.right - area.left - w) / 2;
    int y = area.top + (area.bottom - area.top - h) / 2;
    x = std::max<int>(mi.rcWork.left, std::min<int>(x, mi.rcWork.right - w));
    y = std::max<int>(mi.rcWork.top, std::min<int>(y, mi.rcWork.bottom - h));
    SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWin32DialogWindow::OnCommandMessage(WPARAM wp, LPARAM lp)
{
    const int id = LOWORD(wp);
    const int code = HIWORD(wp);
    if (lp != 0) {
        if (code == EN_CHANGE)
            CheckInput(id);
        // Of the controls' notifications only a button's click is a command.
        if (code != BN_CLICKED || !m_buttons.count(id))
            return;
    } else if (code > 1) {
        return;  // neither a menu (0) nor an accelerator (1)
    }
    // Enter (IDOK), Escape and the close box (IDCANCEL) arrive here from
    // the dialog manager as well.
    m_handler.OnCommand(id);
}

void CWin32DialogWindow::OnPaintMessage()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    if (::IsIconic(m_hwnd))
        SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    m_hPaintDC = dc;
    m_handler.OnPaint();
    m_hPaintDC = nullptr;
    EndPaint(m_hwnd, &ps);
}

void CWin32DialogWindow::OnGone()
{
    m_handler.OnDestroy();
    std::vector<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(m_postLock);
        m_hPostTarget = nullptr;
        m_bPostSignalled = false;
        dropped.swap(m_posted);
    }
    m_ws.PopRunning(m_hwnd);
    m_hTip = nullptr;  // owned by the dialog, destroyed with it
}

std::u16string CWin32DialogWindow::GetItemText(int id) const
{
    HWND h = m_hwnd ? GetDlgItem(m_hwnd, id) : nullptr;
    return h ? WindowText(h) : std::u16string();
}

void CWin32DialogWindow::SetItemText(int id, const std::u16string& text)
{
    HWND h = m_hwnd ? GetDlgItem(m_hwnd, id) : nullptr;
    if (!h)
        return;
    auto kind = m_kinds.find(id);
    if (kind == m_kinds.end()) {
        SetWindowTextW(h, W(text));
    } else if (kind->second == res::ControlKind::MultiEdit) {
        SetHistoryText(h, text);
    } else if (kind->second == res::ControlKind::Edit) {
        SetEditText(h, text);
    } else {
        SetWindowTextW(h, W(text));
        if (auto width = m_staticWidths.find(id); width != m_staticWidths.end())
            FitStatic(h, width->second);
    }
}

// Text the program sets is not the user's: it passes no filter, and it is
// what the next change of the user's is compared with.
void CWin32DialogWindow::SetEditText(HWND edit, const std::u16string& text)
{
    m_bSettingText = true;
    SetWindowTextW(edit, W(text));
    m_bSettingText = false;
    if (auto f = m_filters.find(GetDlgCtrlID(edit)); f != m_filters.end()) {
        f->second.accepted = text;
        f->second.pendingHigh = 0;
    }
}

// The newest rows stay in view, and a selection the user made follows its
// text while rows scroll out at the top.
void CWin32DialogWindow::SetHistoryText(HWND edit, const std::u16string& text)
{
    DWORD selStart = 0, selEnd = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                 reinterpret_cast<LPARAM>(&selEnd));
    std::u16string old;
    if (selStart != selEnd)
        old = WindowText(edit);

    SendMessageW(edit, WM_SETREDRAW, FALSE, 0);
    m_bSettingText = true;
    SetWindowTextW(edit, W(text));
    m_bSettingText = false;

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

    if (m_nHistoryLineHeight <= 0)
        m_nHistoryLineHeight = WithControlFont(edit, [](HDC dc) {
            TEXTMETRICW tm{};
            GetTextMetricsW(dc, &tm);
            return static_cast<int>(tm.tmHeight);
        });
    RECT fmt{};
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fmt));
    const int visible = std::max(1, static_cast<int>(fmt.bottom - fmt.top) /
                                        std::max(1, m_nHistoryLineHeight));
    const int lines = static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
    const int first = static_cast<int>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
    const int target = std::max(0, lines - visible);
    if (target != first)
        SendMessageW(edit, EM_LINESCROLL, 0, target - first);

    SendMessageW(edit, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(edit, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}

// A label is never cut: it grows to the right, up to the dialog's edge,
// where its text is wider than the template made it.
void CWin32DialogWindow::FitStatic(HWND label, int templateWidth)
{
    const std::u16string text = WindowText(label);
    const int need = WithControlFont(label, [&](HDC dc) {
        SIZE size{};
        GetTextExtentPoint32W(dc, W(text), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx) + 1;
    });
    RECT r, client;
    GetWindowRect(label, &r);
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&r), 2);
    GetClientRect(m_hwnd, &client);
    const int width = std::max(templateWidth, std::min<int>(need, client.right - r.left));
    if (width != r.right - r.left)
        SetWindowPos(label, nullptr, 0, 0, width, r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWin32DialogWindow::LimitText(int id, int maxUnits)
{
    if (m_hwnd)
        SendDlgItemMessageW(m_hwnd, id, EM_SETLIMITTEXT, static_cast<WPARAM>(maxUnits), 0);
}

void CWin32DialogWindow::SetInputFilter(int id, std::function<bool(const std::u16string&)> accept)
{
    HWND edit = m_hwnd ? GetDlgItem(m_hwnd, id) : nullptr;
    if (!edit)
        return;
    Filter& f = m_filters[id];
    f.accept = std::move(accept);
    f.accepted = WindowText(edit);
    SetWindowSubclass(edit, EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

void CWin32DialogWindow::SetCopyAllEntry(int id, const std::u16string& label,
                                         std::function<std::u16string()> text)
{
    HWND edit = m_hwnd ? GetDlgItem(m_hwnd, id) : nullptr;
    if (!edit || !(GetWindowLongW(edit, GWL_STYLE) & ES_MULTILINE))
        return;
    m_copyAll[id] = {label, std::move(text)};
    SetWindowSubclass(edit, CopyAllProc, 2, reinterpret_cast<DWORD_PTR>(this));
}

// The edit control's own context menu cannot take an entry of ours (it
// handles its commands itself): the box gets a menu of its own, with the
// entries a read-only box needs.
LRESULT CALLBACK CWin32DialogWindow::CopyAllProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                                 UINT_PTR subclassId, DWORD_PTR ref)
{
    auto* self = reinterpret_cast<CWin32DialogWindow*>(ref);
    if (msg == WM_NCDESTROY || !self->m_copyAll.count(GetDlgCtrlID(hwnd))) {
        RemoveWindowSubclass(hwnd, CopyAllProc, subclassId);
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    if (msg == WM_CONTEXTMENU) {
        self->ShowCopyAllMenu(hwnd, lp);
        return 0;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

void CWin32DialogWindow::ShowCopyAllMenu(HWND edit, LPARAM at)
{
    enum : UINT { kCopy = 1, kSelectAll, kCopyAll };
    DWORD from = 0, to = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuW(menu, MF_STRING | (from == to ? MF_GRAYED : 0), kCopy, L"コピー(&C)");
    AppendMenuW(menu, MF_STRING, kSelectAll, L"すべて選択(&A)");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    const int id = GetDlgCtrlID(edit);
    AppendMenuW(menu, MF_STRING, kCopyAll, W(m_copyAll[id].label));
    POINT pt{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {  // from the keyboard: at the box's corner
        RECT r;
        GetWindowRect(edit, &r);
        pt = {r.left, r.top};
    }
    const UINT cmd = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                    pt.x, pt.y, 0, edit, nullptr);
    DestroyMenu(menu);
    if (cmd == kCopy) {
        SendMessageW(edit, WM_COPY, 0, 0);
    } else if (cmd == kSelectAll) {
        SendMessageW(edit, EM_SETSEL, 0, -1);
    } else if (cmd == kCopyAll) {
        auto it = m_copyAll.find(id);
        if (it == m_copyAll.end() || !it->second.text)
            return;
        const std::u16string text = it->second.text();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t));
        if (!mem)
            return;
        if (void* p = GlobalLock(mem)) {
            std::memcpy(p, text.c_str(), (text.size() + 1) * sizeof(char16_t));
            GlobalUnlock(mem);
        }
        // The clipboard then owns the memory; it is ours again on failure.
        if (!OpenClipboard(edit)) {
            GlobalFree(mem);
            return;
        }
        EmptyClipboard();
        if (!SetClipboardData(CF_UNICODETEXT, mem))
            GlobalFree(mem);
        CloseClipboard();
    }
}

// The edit control's own messages that a filter must see whole: the two
// halves of a character typed outside the basic plane, and an input
// method's composition, which is checked once it is committed.
LRESULT CALLBACK CWin32DialogWindow::EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                              UINT_PTR subclassId, DWORD_PTR ref)
{
    auto* self = reinterpret_cast<CWin32DialogWindow*>(ref);
    const int id = GetDlgCtrlID(hwnd);
    auto it = self->m_filters.find(id);
    if (msg == WM_NCDESTROY || it == self->m_filters.end()) {
        RemoveWindowSubclass(hwnd, EditProc, subclassId);
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    Filter& f = it->second;
    switch (msg) {
    case WM_CHAR:
    case WM_IME_CHAR: {
        const auto c = static_cast<char16_t>(wp);
        if (IsHigh(c)) {
            f.pendingHigh = c;
            return 0;
        }
        const char16_t high = std::exchange(f.pendingHigh, 0);
        if (!high || !IsLow(c))
            return DefSubclassProc(hwnd, msg, wp, lp);
        f.holdCheck = true;
        DefSubclassProc(hwnd, msg, high, lp);
        const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
        f.holdCheck = false;
        self->CheckInput(id);
        return r;
    }
    case WM_IME_STARTCOMPOSITION:
        f.composing = true;
        return DefSubclassProc(hwnd, msg, wp, lp);
    case WM_IME_ENDCOMPOSITION: {
        const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
        f.composing = false;
        self->CheckInput(id);
        return r;
    }
    default:
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
}

// After every change of an edit control with a filter: a change the
// filter refuses is undone, except that text inserted at once (a paste,
// an input method's result) keeps its longest start, at whole characters,
// that the filter takes.
void CWin32DialogWindow::CheckInput(int id)
{
    auto it = m_filters.find(id);
    if (m_bSettingText || it == m_filters.end())
        return;
    Filter& f = it->second;
    if (f.holdCheck || f.composing)
        return;
    HWND edit = GetDlgItem(m_hwnd, id);
    const std::u16string now = WindowText(edit);
    const std::u16string old = f.accepted;
    if (now == old)
        return;
    if (!HasLoneSurrogate(now) && f.accept(now)) {
        f.accepted = now;
        return;
    }

    // What changed: old[p, old.size() - s) became now[p, now.size() - s).
    std::size_t p = 0;
    while (p < old.size() && p < now.size() && old[p] == now[p])
        ++p;
    if (p > 0 && IsHigh(now[p - 1]))
        --p;
    std::size_t s = 0;
    while (s < old.size() - p && s < now.size() - p &&
           old[old.size() - 1 - s] == now[now.size() - 1 - s])
        ++s;
    if (s > 0 && IsLow(now[now.size() - s]))
        --s;
    const std::u16string inserted = now.substr(p, now.size() - p - s);

    std::u16string result = old;
    DWORD selStart = static_cast<DWORD>(p);
    DWORD selEnd = static_cast<DWORD>(old.size() - s);  // what the change replaced
    for (std::size_t k = inserted.size(); k-- > 1;) {
        if (IsHigh(inserted[k - 1]))
            continue;
        std::u16string candidate = old.substr(0, p) + inserted.substr(0, k) + old.substr(old.size() - s);
        if (!HasLoneSurrogate(candidate) && f.accept(candidate)) {
            result = std::move(candidate);
            selStart = selEnd = static_cast<DWORD>(p + k);
            break;
        }
    }
    SetEditText(edit, result);
    SendMessageW(edit, EM_SETSEL, selStart, selEnd);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    MessageBeep(MB_OK);
}

void CWin32DialogWindow::SetItemToolTip(int id, const std::u16string& text)
{
    HWND ctrl = m_hwnd ? GetDlgItem(m_hwnd, id) : nullptr;
    if (!ctrl)
        return;
    const bool known = m_tipIds.count(id) != 0;
    if (text.empty() && !known)
        return;
    if (!m_hTip) {
        m_hTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr,
                                 m_ws.Instance(), nullptr);
        if (!m_hTip)
            return;
        // Long explanations wrap instead of running off the screen.
        RECT r{0, 0, 200, 0};
        MapDialogRect(m_hwnd, &r);
        SendMessageW(m_hTip, TTM_SETMAXTIPWIDTH, 0, r.right);
        // Long enough to read a sentence or two.
        SendMessageW(m_hTip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
    }
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = m_hwnd;
    ti.uId = reinterpret_cast<UINT_PTR>(ctrl);
    if (text.empty()) {
        SendMessageW(m_hTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
        m_tipIds.erase(id);
        return;
    }
    std::u16string copy = text;  // the control copies it
    ti.lpszText = reinterpret_cast<LPWSTR>(copy.data());
    SendMessageW(m_hTip, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
                 reinterpret_cast<LPARAM>(&ti));
    m_tipIds.insert(id);
}

void CWin32DialogWindow::SetTimer(int id, int periodMs)
{
    if (m_hwnd)
        ::SetTimer(m_hwnd, static_cast<UINT_PTR>(id), static_cast<UINT>(periodMs), nullptr);
}

void CWin32DialogWindow::KillTimer(int id)
{
    if (m_hwnd)
        ::KillTimer(m_hwnd, static_cast<UINT_PTR>(id));
}

bool CWin32DialogWindow::AppendSystemMenu(wsys::MenuItem kind, int id, const std::u16string& text)
{
    HMENU menu = m_hwnd ? GetSystemMenu(m_hwnd, FALSE) : nullptr;
    if (!menu)
        return false;
    if (kind == wsys::MenuItem::Separator)
        return AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) != 0;
    if (!AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), W(text)))
        return false;
    m_menuIds.insert(id & 0xFFF0);
    return true;
}

void CWin32DialogWindow::SetIcon(wsys::IconHandle icon, bool big)
{
    const CWin32WindowSystem::Icon* i = CWin32WindowSystem::ToIcon(icon);
    if (!m_hwnd || !i)
        return;
    SendMessageW(m_hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(big ? i->bigIcon : i->smallIcon));
}

bool CWin32DialogWindow::IsIconic() const { return m_hwnd && ::IsIconic(m_hwnd); }

wsys::Size CWin32DialogWindow::ClientSize() const
{
    RECT r{};
    if (m_hwnd)
        GetClientRect(m_hwnd, &r);
    return {r.right - r.left, r.bottom - r.top};
}

wsys::Size CWin32DialogWindow::SystemIconSize() const
{
    return {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
}

void CWin32DialogWindow::DrawIcon(int x, int y, wsys::IconHandle icon)
{
    const CWin32WindowSystem::Icon* i = CWin32WindowSystem::ToIcon(icon);
    if (m_hPaintDC && i)
        ::DrawIcon(m_hPaintDC, x, y, i->bigIcon);
}

// The function waits in a queue of this window's; the message only says
// that the queue has something, so a message that outlives the window
// carries nothing that could leak or dangle.
void CWin32DialogWindow::Post(std::function<void()> fn)
{
    std::function<void()> dropped;
    std::lock_guard<std::mutex> lock(m_postLock);
    if (!m_hPostTarget) {
        dropped = std::move(fn);
        return;
    }
    m_posted.push_back(std::move(fn));
    if (!m_bPostSignalled)
        m_bPostSignalled = PostMessageW(m_hPostTarget, kRunPosted, 0, 0) != 0;
}

void CWin32DialogWindow::RunPosted()
{
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> lock(m_postLock);
        m_bPostSignalled = false;
        batch.swap(m_posted);
    }
    for (auto& fn : batch)
        fn();
}
