// Finding text in a box of rows with the system's own modeless find
// window (FindTextW), by the search every window system shares
// (FindInText). The console's modal loop does not know the find window:
// its keyboard navigation, and the dialog's Ctrl+F, F3 and Shift+F3, come
// through the thread's message filter.
#pragma once

#include "win32_api.h"

#include <commdlg.h>

#include <cstddef>
#include <string>

#include "win32_message_filter.h"

class CWin32RowBox;

class CWin32Find {
public:
    // Searches `box` of `dialog`, which owns the find window.
    CWin32Find(HWND dialog, CWin32RowBox& box);
    ~CWin32Find();
    CWin32Find(const CWin32Find&) = delete;
    CWin32Find& operator=(const CWin32Find&) = delete;

    // Opens the find window, or brings it forward; its field takes the
    // selected text.
    void Open();
    // The last search again, forward or backward (F3, Shift+F3); with
    // nothing searched yet, the find window opens.
    void Repeat(bool forward);

    // The message the find window sends its owner.
    static UINT Message();
    void OnFindMessage(LPARAM lp);

    // The find window while it is open, else nullptr.
    HWND Window() const { return m_hFind; }

private:
    static UINT_PTR CALLBACK Hook(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool Filter(MSG& msg);
    void Search(bool forward);
    void KeepInSight(std::size_t at);
    void SayNotFound();

    HWND m_hDialog;
    CWin32RowBox& m_box;
    HWND m_hFind = nullptr;
    // Read by the find window while it is open.
    FINDREPLACEW m_fr{};
    wchar_t m_szFind[128] = {};
    DWORD m_nFlags = FR_DOWN;  // direction and case, kept between openings
    CWin32MessageFilter m_filter;
};
