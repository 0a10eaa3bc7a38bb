#include "win32_find.h"

#include <dlgs.h>

#include <algorithm>
#include <utility>

#include "resources.h"
#include "text_search.h"
#include "win32_row_box.h"
#include "win32_text.h"

namespace {

bool Held(int key) { return GetKeyState(key) < 0; }

HWND Root(HWND h) { return h ? GetAncestor(h, GA_ROOT) : nullptr; }

// The box's selection when it lies within one row: what the find field
// starts with.
std::u16string SelectedText(HWND box)
{
    DWORD from = 0, to = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    if (from >= to)
        return {};
    const std::u16string text = WindowText(box);
    if (to > text.size())
        return {};
    std::u16string selected = text.substr(from, to - from);
    if (selected.find_first_of(u"\r\n") != std::u16string::npos)
        return {};
    return selected;
}

}  // namespace

CWin32Find::CWin32Find(HWND dialog, CWin32RowBox& box)
    : m_hDialog(dialog), m_box(box), m_filter([this](MSG& msg) { return Filter(msg); })
{
}

CWin32Find::~CWin32Find()
{
    if (HWND find = std::exchange(m_hFind, nullptr); find && IsWindow(find))
        DestroyWindow(find);
}

UINT CWin32Find::Message()
{
    static const UINT message = RegisterWindowMessageW(FINDMSGSTRINGW);
    return message;
}

void CWin32Find::Open()
{
    std::u16string selected = SelectedText(m_box.Hwnd());
    if (m_hFind) {
        HWND field = GetDlgItem(m_hFind, edt1);
        if (!selected.empty())
            SetWindowTextW(field, W(selected));
        SetActiveWindow(m_hFind);
        SetFocus(field);
        SendMessageW(field, EM_SETSEL, 0, -1);
        return;
    }
    if (!selected.empty()) {
        // Longer than any row: cut where the field ends.
        selected.resize(std::min<std::size_t>(selected.size(), std::size(m_szFind) - 1));
        std::copy(selected.begin(), selected.end(), m_szFind);
        m_szFind[selected.size()] = 0;
    }
    m_fr = {};
    m_fr.lStructSize = sizeof m_fr;
    m_fr.hwndOwner = m_hDialog;
    // No whole-word search: the shared search has none.
    m_fr.Flags = (m_nFlags & (FR_DOWN | FR_MATCHCASE)) | FR_HIDEWHOLEWORD | FR_ENABLEHOOK;
    m_fr.lpstrFindWhat = m_szFind;
    m_fr.wFindWhatLen = sizeof m_szFind;  // bytes
    m_fr.lCustData = reinterpret_cast<LPARAM>(this);
    m_fr.lpfnHook = Hook;
    m_hFind = FindTextW(&m_fr);
}

// The window's title is ours; the rest is the system's.
UINT_PTR CALLBACK CWin32Find::Hook(HWND hwnd, UINT msg, WPARAM, LPARAM lp)
{
    if (msg == WM_INITDIALOG && lp) {
        SetWindowTextW(hwnd, W(res::LoadString(res::IDS_FIND_TITLE)));
        return TRUE;
    }
    return FALSE;
}

void CWin32Find::OnFindMessage(LPARAM lp)
{
    const auto* fr = reinterpret_cast<const FINDREPLACEW*>(lp);
    if (fr != &m_fr)
        return;
    m_nFlags = fr->Flags;
    if (fr->Flags & FR_DIALOGTERM)
        m_hFind = nullptr;
    else if (fr->Flags & FR_FINDNEXT)
        Search((fr->Flags & FR_DOWN) != 0);
}

void CWin32Find::Repeat(bool forward)
{
    // What the open window shows, searched or not yet.
    if (m_hFind) {
        GetDlgItemTextW(m_hFind, edt1, m_szFind, static_cast<int>(std::size(m_szFind)));
        m_nFlags = IsDlgButtonChecked(m_hFind, chx2) == BST_CHECKED ? m_nFlags | FR_MATCHCASE
                                                                     : m_nFlags & ~FR_MATCHCASE;
    }
    if (!m_szFind[0]) {
        Open();
        return;
    }
    Search(forward);
}

void CWin32Find::Search(bool forward)
{
    const std::u16string needle(reinterpret_cast<const char16_t*>(m_szFind));
    if (needle.empty())
        return;
    HWND box = m_box.Hwnd();
    DWORD from = 0, to = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    const std::optional<wsys::TextMatch> match = wsys::FindInText(
        WindowText(box), needle, from, to, forward, (m_nFlags & FR_MATCHCASE) != 0);
    if (!match) {
        SayNotFound();
        return;
    }
    m_box.ShowMatch(match->start, match->start + match->length);
    KeepInSight(match->start);
}

// The find window steps off the row it found, above it or else below it,
// as far as the screen lets it.
void CWin32Find::KeepInSight(std::size_t at)
{
    HWND box = m_box.Hwnd();
    if (!m_hFind || !IsWindowVisible(m_hFind))
        return;
    const LRESULT pos = SendMessageW(box, EM_POSFROMCHAR, at, 0);
    if (pos == -1)
        return;
    POINT top{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
    ClientToScreen(box, &top);
    RECT row{};
    GetWindowRect(box, &row);
    row.top = top.y;
    row.bottom = top.y + m_box.RowHeight();
    RECT find{}, overlap{};
    GetWindowRect(m_hFind, &find);
    if (!IntersectRect(&overlap, &find, &row))
        return;
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(m_hFind, MONITOR_DEFAULTTONEAREST), &mi);
    const int height = find.bottom - find.top;
    int y = row.top - height;
    if (y < mi.rcWork.top)
        y = std::min<int>(row.bottom, mi.rcWork.bottom - height);
    SetWindowPos(m_hFind, nullptr, find.left, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Over the find window when it is open. Nothing of this object is used
// once the box is closed: the window may have gone meanwhile.
void CWin32Find::SayNotFound()
{
    HWND owner = m_hFind && IsWindowVisible(m_hFind) ? m_hFind : m_hDialog;
    MessageBoxW(owner, W(res::LoadString(res::IDS_NOT_FOUND)),
                W(res::LoadString(res::IDS_FIND_TITLE)), MB_OK | MB_ICONINFORMATION);
}

bool CWin32Find::Filter(MSG& msg)
{
    const HWND root = Root(msg.hwnd);
    const bool inFind = m_hFind && root == m_hFind;
    const bool inDialog = root == m_hDialog && IsWindowEnabled(m_hDialog);
    if (msg.message == WM_KEYDOWN && (inFind || inDialog) && !Held(VK_MENU)) {
        if (msg.wParam == VK_F3 && !Held(VK_CONTROL)) {
            Repeat(!Held(VK_SHIFT));
            return true;
        }
        if (msg.wParam == 'F' && Held(VK_CONTROL) && !Held(VK_SHIFT)) {
            Open();
            return true;
        }
    }
    return inFind && IsDialogMessageW(m_hFind, &msg);
}
