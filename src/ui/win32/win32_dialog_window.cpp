#include "win32_dialog_window.h"

#include <algorithm>
#include <utility>

#include "label_fit.h"
#include "win32_dialog_font.h"
#include "win32_dialog_template.h"
#include "win32_dpi.h"
#include "win32_find.h"
#include "win32_input_line.h"
#include "win32_message_filter.h"
#include "win32_row_box.h"
#include "win32_text.h"
#include "win32_window_system.h"

CWin32DialogWindow::CWin32DialogWindow(CWin32WindowSystem& ws, const res::DialogTemplate& tmpl,
                                       wsys::IDialogHandler& handler)
    : m_ws(ws), m_tmpl(tmpl), m_handler(handler)
{
}

// Nothing posted from now on runs.
CWin32DialogWindow::~CWin32DialogWindow() { m_posts.Close(); }

int CWin32DialogWindow::RunModal()
{
    if (m_bEnded)
        return m_nResult;
    HWND owner = m_ws.ActiveDialog();
    // The console owns no window and gets a taskbar button of its own; a
    // box opened from it stays with it.
    m_strFace = win32::ChooseDialogFace(m_tmpl.fontFace);
    const std::vector<std::uint32_t> bytes =
        win32::BuildDialogTemplate(m_tmpl, m_strFace, owner ? 0 : WS_EX_APPWINDOW);
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
    case WM_TIMER:
        OnTimerMessage(static_cast<int>(wp));
        return TRUE;
    case WM_PAINT:
        OnPaintMessage();
        return TRUE;
    case WM_QUERYDRAGICON: {
        const CWin32WindowSystem::Icon* icon = ScaledIcon(m_handler.OnQueryDragIcon());
        return reinterpret_cast<INT_PTR>(icon ? icon->bigIcon : nullptr);
    }
    case WM_MOUSEWHEEL:
        return OnMouseWheel(wp, lp) ? TRUE : FALSE;
    case WM_GETDPISCALEDSIZE:
        return OnGetDpiScaledSize(static_cast<UINT>(wp), reinterpret_cast<SIZE*>(lp));
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
        return TRUE;
    case WM_GETFONT:
        // Once the scale changed, the font of ours, not the dialog manager's.
        if (!m_scale.OwnsFont())
            return FALSE;
        SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(m_scale.Font()));
        return TRUE;
    case kRunPosted:
        RunPosted();
        return TRUE;
    case WM_DESTROY:
        OnGone();
        return FALSE;
    case WM_NCDESTROY:
        m_scale.Stop();
        SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
        m_hwnd = nullptr;
        return FALSE;
    default:
        if (m_pFind && msg == CWin32Find::Message()) {
            m_pFind->OnFindMessage(lp);
            return TRUE;
        }
        return FALSE;
    }
}

void CWin32DialogWindow::OnInit()
{
    m_ws.PushRunning(m_hwnd);
    for (const res::ControlTemplate& c : m_tmpl.controls) {
        if (c.id == res::IDC_STATIC)
            continue;
        m_kinds[c.id] = c.kind;
        if (c.kind == res::ControlKind::PushButton || c.kind == res::ControlKind::DefPushButton)
            m_buttons.insert(c.id);
        // Each edit control gets its one subclass now.
        if (c.kind == res::ControlKind::MultiEdit)
            m_rowBoxes[c.id] = std::make_unique<CWin32RowBox>(
                GetDlgItem(m_hwnd, c.id), [this](int command) { m_handler.OnCommand(command); },
                m_tmpl.pointSize);
        else if (c.kind == res::ControlKind::Edit)
            m_lines[c.id] = std::make_unique<CWin32InputLine>(GetDlgItem(m_hwnd, c.id));
    }
    StartScale();
    CenterOnOwner();
    // Functions posted before the window was there are run now.
    m_hPostTarget = m_hwnd;
    PostMessageW(m_hwnd, kRunPosted, 0, 0);
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
        if (code == EN_CHANGE) {
            if (auto line = m_lines.find(id); line != m_lines.end())
                line->second->OnChange();
        }
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

void CWin32DialogWindow::OnTimerMessage(int id)
{
    if (!m_bInTimer) {
        m_bInTimer = true;
        m_handler.OnTimer(id);
        m_bInTimer = false;
    }
    // A hand-over whose message could not be posted (a full queue) is not
    // left waiting for the next one.
    if (m_posts.Unannounced())
        RunPosted();
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

// The wheel goes to the focus; over a box of rows it scrolls the box, as
// on systems that send it to the window under the mouse.
bool CWin32DialogWindow::OnMouseWheel(WPARAM wp, LPARAM lp)
{
    const POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    HWND under = WindowFromPoint(at);
    for (const auto& [id, box] : m_rowBoxes)
        if (under && box->Hwnd() == under && GetFocus() != under) {
            SendMessageW(under, WM_MOUSEWHEEL, wp, lp);
            return true;
        }
    return false;
}

void CWin32DialogWindow::OnGone()
{
    // The find window goes while its owner is still there.
    m_pFind.reset();
    m_handler.OnDestroy();
    m_hPostTarget = nullptr;
    m_posts.Close();
    m_ws.PopRunning(m_hwnd);
    m_tips.Forget();
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
    if (auto line = m_lines.find(id); line != m_lines.end()) {
        line->second->SetProgramText(text);
        return;
    }
    auto width = m_labelWidths.find(id);
    if (width == m_labelWidths.end()) {
        SetWindowTextW(h, W(text));
        return;
    }
    // Sized for the new text first: a left-aligned static paints its text
    // as it takes it, wrapped at its old width, and a later widening would
    // repaint only the strip it uncovers. Then the whole label again.
    FitLabel(h, width->second, text);
    SetWindowTextW(h, W(text));
    InvalidateRect(h, nullptr, TRUE);
}

void CWin32DialogWindow::UpdateRows(int id, const wsys::RowChange& change)
{
    if (CWin32RowBox* box = RowBox(id))
        box->Update(change);
}

CWin32RowBox* CWin32DialogWindow::RowBox(int id) const
{
    auto box = m_rowBoxes.find(id);
    return m_hwnd && box != m_rowBoxes.end() ? box->second.get() : nullptr;
}


void CWin32DialogWindow::FitLabel(HWND label, int templateWidth)
{
    FitLabel(label, templateWidth, WindowText(label));
}

void CWin32DialogWindow::FitLabel(HWND label, int templateWidth, const std::u16string& text)
{
    const int textWidth = WithControlFont(label, [&](HDC dc) {
        SIZE size{};
        GetTextExtentPoint32W(dc, W(text), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    });
    RECT r, client;
    GetWindowRect(label, &r);
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&r), 2);
    GetClientRect(m_hwnd, &client);
    const int width = wsys::FittedLabelWidth(templateWidth, textWidth, r.left, client.right);
    if (width != r.right - r.left) {
        SetWindowPos(label, nullptr, 0, 0, width, r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(label, nullptr, TRUE);
    }
}

void CWin32DialogWindow::LimitText(int id, int maxUnits)
{
    if (m_hwnd)
        SendDlgItemMessageW(m_hwnd, id, EM_SETLIMITTEXT, static_cast<WPARAM>(maxUnits), 0);
}

CWin32InputLine* CWin32DialogWindow::InputLine(int id)
{
    auto line = m_lines.find(id);
    return m_hwnd && line != m_lines.end() ? line->second.get() : nullptr;
}

void CWin32DialogWindow::SetInputFilter(int id, std::function<bool(const std::u16string&)> accept)
{
    if (CWin32InputLine* line = InputLine(id))
        line->SetFilter(std::move(accept));
}

void CWin32DialogWindow::SetLineRecall(int id, Recall recall)
{
    if (CWin32InputLine* line = InputLine(id))
        line->SetRecall(std::move(recall));
}

void CWin32DialogWindow::SetCopyAllEntry(int id, const std::u16string& label,
                                         std::function<std::u16string()> text)
{
    if (CWin32RowBox* box = RowBox(id))
        box->Menu().SetCopyAll(label, std::move(text));
}

void CWin32DialogWindow::AddContextCommand(int id, int command, const std::u16string& label,
                                           bool checkable)
{
    if (CWin32RowBox* box = RowBox(id))
        box->Menu().AddCommand(command, label, checkable);
}

void CWin32DialogWindow::SetContextCheck(int id, int command, bool checked)
{
    if (CWin32RowBox* box = RowBox(id))
        box->Menu().SetCheck(command, checked);
}

void CWin32DialogWindow::AddFindEntry(int id)
{
    CWin32RowBox* box = RowBox(id);
    if (!box || m_pFind)
        return;
    m_pFind = std::make_unique<CWin32Find>(m_hwnd, *box);
    box->Menu().AddFind(res::LoadString(res::IDS_FIND), [this] {
        if (m_pFind)
            m_pFind->Open();
    });
}

void CWin32DialogWindow::Beep() { MessageBeep(MB_OK); }

void CWin32DialogWindow::SetItemToolTip(int id, const std::u16string& text)
{
    m_tips.Set(m_hwnd, m_ws.Instance(), id, text);
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
    const CWin32WindowSystem::Icon* i = ScaledIcon(icon);
    if (!m_hwnd || !i)
        return;
    (big ? m_nBigIconId : m_nSmallIconId) = i->id;
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
    const UINT dpi = m_scale.Dpi() ? m_scale.Dpi() : win32::SystemDpi();
    return {win32::MetricForDpi(SM_CXICON, dpi), win32::MetricForDpi(SM_CYICON, dpi)};
}

void CWin32DialogWindow::DrawIcon(int x, int y, wsys::IconHandle icon)
{
    const CWin32WindowSystem::Icon* i = ScaledIcon(icon);
    if (m_hPaintDC && i)
        ::DrawIcon(m_hPaintDC, x, y, i->bigIcon);
}

void CWin32DialogWindow::Post(std::function<void()> fn)
{
    if (!m_posts.Post(std::move(fn)))
        return;
    // Before the window is there, OnInit announces what waits.
    HWND target = m_hPostTarget;
    if (target && !PostMessageW(target, kRunPosted, 0, 0))
        m_posts.WakeLost();
}

void CWin32DialogWindow::RunPosted() { m_posts.Drain(); }
