// An edit control's veto on every change the user makes, by the rule all
// window systems share (input_filter.h). The edit control tells of a
// change after it made it (EN_CHANGE): a refused change is undone, a cut
// one replaced by what is kept of it.
#pragma once

#include "win32_api.h"

#include <string>

#include "input_filter.h"

class CWin32InputFilter {
public:
    // Watches `edit` until it is destroyed.
    CWin32InputFilter(HWND edit, wsys::InputFilter accept);
    ~CWin32InputFilter();
    CWin32InputFilter(const CWin32InputFilter&) = delete;
    CWin32InputFilter& operator=(const CWin32InputFilter&) = delete;

    // Text the program sets is not the user's: it passes no filter, and it
    // is what the next change of the user's is compared with.
    void SetProgramText(const std::u16string& text);

    // The edit control changed (EN_CHANGE to its dialog).
    void OnChange();

private:
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                     DWORD_PTR self);

    HWND m_hEdit;
    wsys::InputFilter m_accept;
    std::u16string m_strAccepted;  // the text as last accepted
    char16_t m_chPendingHigh = 0;  // first half of a character being typed
    bool m_bHoldCheck = false;     // between the two halves
    bool m_bComposing = false;     // an input method's text not yet committed
    bool m_bSettingText = false;
};
