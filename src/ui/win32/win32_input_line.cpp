#include "win32_input_line.h"

#include <utility>

#include "utf16.h"
#include "win32_text.h"

CWin32InputLine::CWin32InputLine(HWND edit) : m_hEdit(edit), m_strAccepted(WindowText(edit))
{
    SetWindowSubclass(edit, EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

CWin32InputLine::~CWin32InputLine()
{
    if (m_hEdit)
        RemoveWindowSubclass(m_hEdit, EditProc, 1);
}

void CWin32InputLine::SetFilter(wsys::InputFilter accept)
{
    m_accept = std::move(accept);
    if (m_hEdit)
        m_strAccepted = WindowText(m_hEdit);
}

void CWin32InputLine::SetRecall(wsys::IWindow::Recall recall) { m_recall = std::move(recall); }

void CWin32InputLine::SetProgramText(const std::u16string& text)
{
    m_bSettingText = true;
    SetWindowTextW(m_hEdit, W(text));
    // The caret after the text, as Qt's line edit puts it.
    const LPARAM end = static_cast<LPARAM>(text.size());
    SendMessageW(m_hEdit, EM_SETSEL, static_cast<WPARAM>(end), end);
    m_bSettingText = false;
    m_strAccepted = text;
    m_chPendingHigh = 0;
}

void CWin32InputLine::OnChange()
{
    if (m_bSettingText || m_bHoldCheck || m_bComposing || !m_hEdit || !m_accept)
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

// Up and Down with no other key held belong to the recall; the line it
// gives is the program's, with the cursor at its end. Nothing to recall
// leaves the line and the cursor as they are.
bool CWin32InputLine::Recall(bool older)
{
    if (!m_recall || m_bComposing || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_CONTROL) < 0 ||
        GetKeyState(VK_MENU) < 0)
        return false;
    if (const std::optional<std::u16string> line = m_recall(older, WindowText(m_hEdit))) {
        SetProgramText(*line);
        const LPARAM end = static_cast<LPARAM>(line->size());
        SendMessageW(m_hEdit, EM_SETSEL, static_cast<WPARAM>(end), end);
        SendMessageW(m_hEdit, EM_SCROLLCARET, 0, 0);
    }
    return true;
}

// The edit control's own messages that a filter must see whole: the two
// halves of a character typed outside the basic plane, and an input
// method's composition, which is checked once it is committed.
LRESULT CALLBACK CWin32InputLine::EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                             UINT_PTR subclassId, DWORD_PTR ref)
{
    auto* self = reinterpret_cast<CWin32InputLine*>(ref);
    switch (msg) {
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, EditProc, subclassId);
        self->m_hEdit = nullptr;
        return DefSubclassProc(hwnd, msg, wp, lp);
    case WM_MOUSEWHEEL:
        // A line has nothing to scroll (Wine's swallows the wheel): the
        // dialog gives it to the box under the mouse.
        return SendMessageW(GetParent(hwnd), msg, wp, lp);
    case WM_KEYDOWN:
        if ((wp == VK_UP || wp == VK_DOWN) && self->Recall(wp == VK_UP))
            return 0;
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
