#include "win32_input_filter.h"

#include <utility>

#include "utf16.h"
#include "win32_text.h"

CWin32InputFilter::CWin32InputFilter(HWND edit, wsys::InputFilter accept)
    : m_hEdit(edit), m_accept(std::move(accept)), m_strAccepted(WindowText(edit))
{
    SetWindowSubclass(edit, EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

CWin32InputFilter::~CWin32InputFilter()
{
    if (m_hEdit)
        RemoveWindowSubclass(m_hEdit, EditProc, 1);
}

void CWin32InputFilter::SetProgramText(const std::u16string& text)
{
    m_bSettingText = true;
    SetWindowTextW(m_hEdit, W(text));
    m_bSettingText = false;
    m_strAccepted = text;
    m_chPendingHigh = 0;
}

void CWin32InputFilter::OnChange()
{
    if (m_bSettingText || m_bHoldCheck || m_bComposing || !m_hEdit)
        return;
    const std::u16string now = WindowText(m_hEdit);
    if (now == m_strAccepted)
        return;
    DWORD selStart = 0, selEnd = 0;
    SendMessageW(m_hEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                 reinterpret_cast<LPARAM>(&selEnd));
    const wsys::FilteredChange change = wsys::FilterChange(m_strAccepted, now, selEnd, m_accept);
    if (change.outcome == wsys::FilteredChange::Outcome::Taken) {
        m_strAccepted = now;
        return;
    }
    SetProgramText(change.text);
    SendMessageW(m_hEdit, EM_SETSEL, change.start, static_cast<LPARAM>(change.end));
    SendMessageW(m_hEdit, EM_SCROLLCARET, 0, 0);
    MessageBeep(MB_OK);
}

// The edit control's own messages that a filter must see whole: the two
// halves of a character typed outside the basic plane, and an input
// method's composition, which is checked once it is committed.
LRESULT CALLBACK CWin32InputFilter::EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                             UINT_PTR subclassId, DWORD_PTR ref)
{
    auto* self = reinterpret_cast<CWin32InputFilter*>(ref);
    switch (msg) {
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, EditProc, subclassId);
        self->m_hEdit = nullptr;
        return DefSubclassProc(hwnd, msg, wp, lp);
    case WM_CHAR:
    case WM_IME_CHAR: {
        const auto c = static_cast<char16_t>(wp);
        if (text::IsHighSurrogate(c)) {
            self->m_chPendingHigh = c;
            return 0;
        }
        const char16_t high = std::exchange(self->m_chPendingHigh, 0);
        if (!high || !text::IsLowSurrogate(c))
            return DefSubclassProc(hwnd, msg, wp, lp);
        self->m_bHoldCheck = true;
        DefSubclassProc(hwnd, msg, high, lp);
        const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
        self->m_bHoldCheck = false;
        self->OnChange();
        return r;
    }
    case WM_IME_STARTCOMPOSITION:
        self->m_bComposing = true;
        return DefSubclassProc(hwnd, msg, wp, lp);
    case WM_IME_ENDCOMPOSITION: {
        const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
        self->m_bComposing = false;
        self->OnChange();
        return r;
    }
    default:
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
}
