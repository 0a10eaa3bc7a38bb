#include "win32_box_menu.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "win32_text.h"

namespace {

void PutOnClipboard(HWND owner, const std::u16string& text)
{
    const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!mem)
        return;
    if (void* p = GlobalLock(mem)) {
        std::memcpy(p, text.c_str(), bytes);
        GlobalUnlock(mem);
    }
    // The clipboard then owns the memory; it is ours again on failure.
    if (!OpenClipboard(owner)) {
        GlobalFree(mem);
        return;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, mem))
        GlobalFree(mem);
    CloseClipboard();
}

}  // namespace

void CWin32BoxMenu::SetCopyAll(std::u16string label, std::function<std::u16string()> text)
{
    m_copyAllText = std::move(text);
    for (Entry& e : m_entries)
        if (e.kind == Kind::CopyAll) {
            e.label = std::move(label);
            return;
        }
    m_entries.push_back({Kind::CopyAll, 0, std::move(label), false, false});
}

void CWin32BoxMenu::AddCommand(int command, std::u16string label, bool checkable)
{
    m_entries.push_back({Kind::Command, command, std::move(label), checkable, false});
}

void CWin32BoxMenu::SetCheck(int command, bool checked)
{
    for (Entry& e : m_entries)
        if (e.kind == Kind::Command && e.command == command && e.checkable)
            e.checked = checked;
}

void CWin32BoxMenu::AddFind(std::u16string label, std::function<void()> open)
{
    m_openFind = std::move(open);
    m_entries.push_back({Kind::Find, 0, std::move(label), false, false});
}

void CWin32BoxMenu::Show(HWND box, LPARAM at, const std::function<void(int)>& onCommand)
{
    // Menu ids: the two of the box, then one per entry.
    enum : UINT { kCopy = 1, kSelectAll, kFirstEntry };
    DWORD from = 0, to = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuW(menu, MF_STRING | (from == to ? MF_GRAYED : 0), kCopy, L"コピー(&C)");
    AppendMenuW(menu, MF_STRING | (GetWindowTextLengthW(box) ? 0 : MF_GRAYED), kSelectAll,
                L"すべて選択(&A)");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        AppendMenuW(menu, MF_STRING | (e.checked ? MF_CHECKED : 0),
                    kFirstEntry + static_cast<UINT>(i), W(e.label));
    }

    POINT pt{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {  // from the keyboard: at the box's corner
        RECT r;
        GetWindowRect(box, &r);
        pt = {r.left, r.top};
    }
    const UINT cmd = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, pt.x,
                                    pt.y, 0, box, nullptr);
    DestroyMenu(menu);
    if (cmd == kCopy) {
        SendMessageW(box, WM_COPY, 0, 0);
    } else if (cmd == kSelectAll) {
        SendMessageW(box, EM_SETSEL, 0, -1);
    } else if (cmd >= kFirstEntry && cmd - kFirstEntry < m_entries.size()) {
        // A copy: the command may change the entries.
        const Entry e = m_entries[cmd - kFirstEntry];
        if (e.kind == Kind::CopyAll && m_copyAllText)
            PutOnClipboard(box, m_copyAllText());
        else if (e.kind == Kind::Find && m_openFind)
            m_openFind();
        else if (e.kind == Kind::Command && onCommand)
            onCommand(e.command);
    }
}
