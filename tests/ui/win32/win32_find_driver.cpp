#include "win32_find_driver.h"

#include <dlgs.h>

#include "thread_timers.h"
#include "win32_dialog_window.h"
#include "win32_find.h"
#include "win32_input.h"

namespace find_driver {

namespace {

void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

}  // namespace

HWND Shown(const CWin32DialogWindow* console)
{
    HWND find = console && console->Find() ? console->Find()->Window() : nullptr;
    return find && IsWindowVisible(find) ? find : nullptr;
}

std::u16string Field(HWND find)
{
    return find ? TextOf(GetDlgItem(find, edt1)) : std::u16string();
}

std::u16string Search(HWND find, const std::u16string& text, bool matchCase, bool forward,
                      const std::function<void()>& process)
{
    if (!find)
        return {};
    // Typed: the window hears of the change (and enables its button).
    SetWindowTextW(GetDlgItem(find, edt1), reinterpret_cast<const wchar_t*>(text.c_str()));
    if ((IsDlgButtonChecked(find, chx2) == BST_CHECKED) != matchCase)
        Click(GetDlgItem(find, chx2));
    Click(GetDlgItem(find, forward ? rad2 : rad1));

    // A message box is modal: it is read and closed from inside its loop.
    std::u16string said;
    CTimers timers;
    const CTimers::Handle timer = timers.Start([&] {
        HWND box = nullptr;
        while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)))
            if (GetWindow(box, GW_OWNER) == find && IsWindowVisible(box))
                break;
        if (!box)
            return false;
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (GetDlgCtrlID(c) != 1 && !TextOf(c).empty())
                said = TextOf(c);
        PostMessageW(box, WM_COMMAND, 1, 0);  // OK
        return true;
    });
    Click(GetDlgItem(find, 1));  // Find Next
    process();
    CTimers::Stop(timer);
    return said;
}

}  // namespace find_driver
