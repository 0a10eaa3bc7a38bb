#include "win32_copy_all.h"

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

CWin32CopyAll::CWin32CopyAll(HWND box, std::u16string label, std::function<std::u16string()> text)
    : m_hBox(box), m_strLabel(std::move(label)), m_text(std::move(text))
{
    SetWindowSubclass(box, BoxProc, 2, reinterpret_cast<DWORD_PTR>(this));
}

CWin32CopyAll::~CWin32CopyAll()
{
    if (m_hBox)
        RemoveWindowSubclass(m_hBox, BoxProc, 2);
}

LRESULT CALLBACK CWin32CopyAll::BoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                        UINT_PTR subclassId, DWORD_PTR ref)
{
    auto* self = reinterpret_cast<CWin32CopyAll*>(ref);
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, BoxProc, subclassId);
        self->m_hBox = nullptr;
    } else if (msg == WM_CONTEXTMENU) {
        self->ShowMenu(lp);
        return 0;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

void CWin32CopyAll::ShowMenu(LPARAM at)
{
    enum : UINT { kCopy = 1, kSelectAll, kCopyAll };
    DWORD from = 0, to = 0;
    SendMessageW(m_hBox, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                 reinterpret_cast<LPARAM>(&to));
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuW(menu, MF_STRING | (from == to ? MF_GRAYED : 0), kCopy, L"コピー(&C)");
    AppendMenuW(menu, MF_STRING, kSelectAll, L"すべて選択(&A)");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kCopyAll, W(m_strLabel));
    POINT pt{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {  // from the keyboard: at the box's corner
        RECT r;
        GetWindowRect(m_hBox, &r);
        pt = {r.left, r.top};
    }
    const UINT cmd = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, pt.x,
                                    pt.y, 0, m_hBox, nullptr);
    DestroyMenu(menu);
    if (cmd == kCopy)
        SendMessageW(m_hBox, WM_COPY, 0, 0);
    else if (cmd == kSelectAll)
        SendMessageW(m_hBox, EM_SETSEL, 0, -1);
    else if (cmd == kCopyAll && m_text)
        PutOnClipboard(m_hBox, m_text());
}
