// A single-line edit control's own handling, in one subclass: the veto on
// every change the user makes, by the rule all window systems share
// (input_filter.h), and Up and Down recalling lines.
//
// The edit control tells of a change after it made it (EN_CHANGE): a
// refused change is undone, a cut one replaced by what is kept of it.
#pragma once

#include "win32_api.h"

#include <string>

#include "input_filter.h"
#include "window_system.h"

class CWin32InputLine {
public:
    // Watches `edit` until it is destroyed; takes every change until a
    // filter is set.
    explicit CWin32InputLine(HWND edit);
    ~CWin32InputLine();
    CWin32InputLine(const CWin32InputLine&) = delete;
    CWin32InputLine& operator=(const CWin32InputLine&) = delete;

    void SetFilter(wsys::InputFilter accept);
    void SetRecall(wsys::IWindow::Recall recall);

    // Text the program sets is not the user's: it passes no filter, and it
    // is what the next change of the user's is compared with.
    void SetProgramText(const std::u16string& text);

    // The edit control changed (EN_CHANGE to its dialog).
    void OnChange();

private:
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                     DWORD_PTR self);
    // Up (`older`) or Down: true when the key was the recall's.
    bool Recall(bool older);

    HWND m_hEdit;
    wsys::InputFilter m_accept;
    wsys::IWindow::Recall m_recall;
    std::u16string m_strAccepted;  // the text as last accepted
    char16_t m_chPendingHigh = 0;  // first half of a character being typed
    bool m_bHoldCheck = false;     // between the two halves
    bool m_bComposing = false;     // an input method's text not yet committed
    bool m_bSettingText = false;
};
