// A multi-line box's context menu with the entry that puts every row on
// the clipboard. The edit control's own context menu cannot take an entry
// of ours (it handles its commands itself): the box gets a menu of its
// own, with the entries a read-only box needs.
#pragma once

#include "win32_api.h"

#include <functional>
#include <string>

class CWin32CopyAll {
public:
    // Watches `box` until it is destroyed.
    CWin32CopyAll(HWND box, std::u16string label, std::function<std::u16string()> text);
    ~CWin32CopyAll();
    CWin32CopyAll(const CWin32CopyAll&) = delete;
    CWin32CopyAll& operator=(const CWin32CopyAll&) = delete;

private:
    static LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                    DWORD_PTR self);
    // `at`: screen coordinates, or -1 from the keyboard.
    void ShowMenu(LPARAM at);

    HWND m_hBox;
    std::u16string m_strLabel;
    std::function<std::u16string()> m_text;
};
