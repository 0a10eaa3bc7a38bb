// The window contract's driver on the Windows dialog manager, under Wine:
// keys go through the dialog manager's own message loop, controls are
// found in the template's order (the z-order the dialog manager gives
// them), and whatever must act inside a modal loop (a dialog's, a popup
// menu's) runs from a thread timer, which every loop dispatches.
#include "win32_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "test_window_system.h"
#include "thread_timers.h"
#include "win32_control_reads.h"
#include "win32_driver.h"
#include "win32_find_driver.h"
#include "win32_input.h"
#include "window_contract.h"

namespace {

class CWin32Driver final : public contract::CDriver {
public:
    CTestWindowSystem& TestWindowSystem() { return m_ws; }
    wsys::IWindowSystem& WindowSystem() override { return m_ws; }

    int Run(const std::function<int()>& modal, const std::function<void()>& user) override
    {
        const CTimers::Handle timer = m_timers.Start([&] {
            HWND dlg = Innermost();
            if (!dlg || !IsWindowVisible(dlg))
                return false;
            user();
            if (CRecordingWindow* w = m_ws.Find(dlg); w && IsWindowVisible(dlg))
                w->EndDialog(-2);
            return true;
        });
        const int result = modal();
        m_timers.Stop(timer);
        return result;
    }

    bool WaitUntil(const std::function<bool()>& done) override
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            ProcessEvents();
            if (done())
                return true;
            if (std::chrono::steady_clock::now() > end)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }

    // As the dialog manager's own loop does: keys go to the dialog first.
    void ProcessEvents() override
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            HWND dlg = Innermost();
            if (dlg && IsDialogMessageW(dlg, &msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    void WhenDialogOpens(const char* name, std::function<void()> whileUp) override
    {
        m_timers.Start([this, name = std::string(name), fn = std::move(whileUp)] {
            HWND dlg = Innermost();
            CRecordingWindow* w = m_ws.Find(dlg);
            if (!w || name != w->Template().name || !IsWindowVisible(dlg))
                return false;
            fn();
            return true;
        });
    }

    std::vector<std::string> ModalDialogs() override
    {
        std::vector<std::string> names;
        for (HWND h = Innermost(); CRecordingWindow* w = m_ws.Find(h);) {
            names.insert(names.begin(), w->Template().name);
            HWND owner = GetWindow(h, GW_OWNER);
            if (!owner || IsWindowEnabled(owner))
                break;  // nothing runs under it modally
            h = owner;
        }
        return names;
    }

    std::u16string Title() override { return TextOf(Innermost()); }

    // The dialog manager answers with a posted IDCANCEL.
    void CloseBox() override
    {
        SendMessageW(Innermost(), WM_SYSCOMMAND, SC_CLOSE, 0);
        ProcessEvents();
    }

    std::u16string Text(const char* control) override
    {
        HWND h = Control(control);
        return h ? TextOf(h) : std::u16string();
    }

    std::u16string ToolTip(const char* control) override
    {
        HWND ctrl = Control(control);
        return ctrl ? ToolTipText(Innermost(), ctrl) : std::u16string();
    }

    bool Exists(const char* control) override { return Find(control) != nullptr; }

    std::string Focused() override { return NameOf(GetFocus()); }

    std::string NextInTabOrder(const char* control) override
    {
        return NameOf(GetNextDlgTabItem(Innermost(), Control(control), FALSE));
    }

    void Focus(const char* control) override { SetFocus(Control(control)); }

    void Type(const char* control, const std::u16string& text) override
    {
        HWND h = Control(control);
        for (char16_t c : text)
            SendMessageW(h, WM_CHAR, c, 1);
    }

    void Paste(const char* control, const std::u16string& text) override
    {
        HWND h = Control(control);
        if (!OpenClipboard(h)) {
            ADD_FAILURE() << "clipboard busy";
            return;
        }
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t));
        std::memcpy(GlobalLock(mem), text.c_str(), (text.size() + 1) * sizeof(char16_t));
        GlobalUnlock(mem);
        SetClipboardData(CF_UNICODETEXT, mem);
        CloseClipboard();
        SendMessageW(h, WM_PASTE, 0, 0);
    }

    void Press(const char* control, contract::Key key) override
    {
        HWND h = Control(control);
        if (key == contract::Key::CopySelection) {
            SendMessageW(h, WM_COPY, 0, 0);  // what Ctrl+C does
            ProcessEvents();
            return;
        }
        const KeyStroke k = Stroke(key);
        SendKey(h, k.vk, k.mods);
    }

    bool HasScrollBar(const char* control) override
    {
        HWND h = Control(control);
        return h && (GetWindowLongW(h, GWL_STYLE) & WS_VSCROLL);
    }

    // The wheel goes to the focus, with the mouse over the box.
    void Wheel(const char* control, int notches) override
    {
        HWND box = Control(control);
        RECT r;
        GetWindowRect(box, &r);
        HWND focus = GetFocus();
        HWND target = focus && GetAncestor(focus, GA_ROOT) == Innermost() ? focus : box;
        PostMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(0, notches * WHEEL_DELTA),
                     MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
        ProcessEvents();
    }

    void CtrlWheel(const char* control, int notches) override
    {
        HWND box = Control(control);
        RECT r;
        GetWindowRect(box, &r);
        HWND focus = GetFocus();
        HWND target = focus && GetAncestor(focus, GA_ROOT) == Innermost() ? focus : box;
        PostMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, notches * WHEEL_DELTA),
                     MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
        ProcessEvents();
    }

    int FontPoints(const char* control) override { return FontPointsOf(Control(control)); }

    // What the scroll bar sends while its thumb is dragged and let go.
    void DragScrollBar(const char* control, int row) override
    {
        HWND box = Control(control);
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE;
        GetScrollInfo(box, SB_VERT, &si);
        const int top = std::min(row, std::max(0, si.nMax - static_cast<int>(si.nPage) + 1));
        for (WORD code : {SB_THUMBTRACK, SB_THUMBPOSITION, SB_ENDSCROLL})
            SendMessageW(box, WM_VSCROLL, MAKEWPARAM(code, code == SB_ENDSCROLL ? 0 : top), 0);
        ProcessEvents();
    }

    bool FindShown() override { return find_driver::Shown(m_ws.Find(Innermost())) != nullptr; }

    std::u16string FindField() override
    {
        return find_driver::Field(find_driver::Shown(m_ws.Find(Innermost())));
    }

    void Find(const std::u16string& text, bool matchCase, bool forward) override
    {
        HWND find = find_driver::Shown(m_ws.Find(Innermost()));
        if (!find)
            ADD_FAILURE() << "no find window";
        m_strFindSaid =
            find_driver::Search(find, text, matchCase, forward, [this] { ProcessEvents(); });
    }

    // What the last search said: its message box is gone once read.
    std::u16string FindMessage() override { return m_strFindSaid; }

    void PressInFind(contract::Key key) override
    {
        HWND find = find_driver::Shown(m_ws.Find(Innermost()));
        if (!find) {
            ADD_FAILURE() << "no find window";
            return;
        }
        HWND focus = GetFocus();
        const KeyStroke k = Stroke(key);
        SendKey(focus && GetAncestor(focus, GA_ROOT) == find ? focus : find, k.vk, k.mods);
    }

    bool ContextChecked(const char* control, const std::u16string& entry) override
    {
        HWND h = Control(control);
        std::vector<std::u16string> checked;
        MenuOpenedBy(h, u"", [h] {
            SendMessageW(h, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(h), -1);
        }, &checked);
        return std::find(checked.begin(), checked.end(), entry) != checked.end();
    }

    void Click(const char* control) override
    {
        SendMessageW(Control(control), BM_CLICK, 0, 0);
        ProcessEvents();
    }

    void Select(const char* control, int start, int end) override
    {
        SendMessageW(Control(control), EM_SETSEL, start, end);
    }

    std::pair<int, int> Selection(const char* control) override
    {
        DWORD s = 0, e = 0;
        SendMessageW(Control(control), EM_GETSEL, reinterpret_cast<WPARAM>(&s),
                     reinterpret_cast<LPARAM>(&e));
        return {static_cast<int>(s), static_cast<int>(e)};
    }

    contract::RowsInSight RowsShown(const char* control) override
    {
        HWND box = Control(control);
        return box ? RowsInSightOf(box) : contract::RowsInSight();
    }

    void Shrink(const char* control, int rows, int of) override
    {
        HWND h = Control(control);
        RECT r;
        GetWindowRect(h, &r);
        SetWindowPos(h, nullptr, 0, 0, r.right - r.left, (r.bottom - r.top) * rows / of,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    std::vector<std::u16string> WindowMenu() override
    {
        return MenuEntries(GetSystemMenu(Innermost(), FALSE));
    }

    void ChooseFromWindowMenu(const std::u16string& entry) override
    {
        HWND dlg = Innermost();
        HMENU menu = GetSystemMenu(dlg, FALSE);
        const std::vector<std::u16string> entries = MenuEntries(menu);
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i] == entry) {
                PostMessageW(dlg, WM_SYSCOMMAND, GetMenuItemID(menu, static_cast<int>(i)), 0);
                return;
            }
        ADD_FAILURE() << "no such window-menu entry";
    }

    std::vector<std::u16string> ContextMenu(const char* control,
                                            const std::u16string& choose) override
    {
        HWND h = Control(control);
        const std::vector<std::u16string> entries = MenuOpenedBy(h, choose, [h] {
            SendMessageW(h, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(h), -1);  // from the keyboard
        });
        if (entries.empty())
            ADD_FAILURE() << "no context menu opened";
        return entries;
    }

    std::vector<std::u16string> MenuOpenedBy(HWND owner, const std::u16string& choose,
                                             const std::function<void()>& open,
                                             std::vector<std::u16string>* checked = nullptr)
    {
        return ::MenuOpenedBy(owner, choose, open, [this] { ProcessEvents(); }, checked);
    }

    std::u16string Clipboard() override { return ClipboardText(); }

    void ClearClipboard() override
    {
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
    }

    void Screenshot(const char* name, const char* control) override
    {
        SaveScreenshot(control ? Control(control) : Innermost(), ("win32-" + std::string(name)).c_str());
    }

    int RowUpdates() override { return m_ws.rowUpdates; }

    void AnswerSaveDialogs(const std::u16string& path, std::function<void()> whileOpen) override
    {
        m_ws.savePath = path;
        m_ws.whileSaveOpen = std::move(whileOpen);
        m_ws.saveOffers.clear();
        m_ws.messages.clear();
    }
    std::vector<contract::SaveOffer> SaveDialogs() override { return m_ws.saveOffers; }
    std::vector<std::u16string> Messages() override { return m_ws.messages; }

private:
    HWND Innermost() const { return m_ws.ActiveDialog(); }

    // Controls in template order are the dialog's children in z-order,
    // but for the hidden labels that name some edit controls.
    HWND Find(const char* name) const
    {
        HWND dlg = Innermost();
        CRecordingWindow* w = m_ws.Find(dlg);
        if (!w)
            return nullptr;
        HWND child = GetWindow(dlg, GW_CHILD);
        for (const res::ControlTemplate& c : w->Template().controls) {
            if (child && !(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE))
                child = GetWindow(child, GW_HWNDNEXT);
            if (!child)
                break;
            if (std::strcmp(c.name, name) == 0)
                return child;
            child = GetWindow(child, GW_HWNDNEXT);
        }
        return nullptr;
    }

    HWND Control(const char* name) const
    {
        HWND h = Find(name);
        if (!h)
            ADD_FAILURE() << "no control \"" << name << "\" in the dialog that runs";
        return h;
    }

    std::string NameOf(HWND control) const
    {
        CRecordingWindow* w = m_ws.Find(Innermost());
        if (!w || !control)
            return {};
        for (const res::ControlTemplate& c : w->Template().controls)
            if (Find(c.name) == control)
                return c.name;
        return {};
    }

    CTestWindowSystem m_ws;
    CTimers m_timers;
    std::u16string m_strFindSaid;
};

}  // namespace

std::vector<std::u16string> Win32MenuOpenedBy(const std::function<void()>& open)
{
    auto& driver = static_cast<CWin32Driver&>(contract::Driver());
    return driver.MenuOpenedBy(GetFocus(), u"", open);
}

contract::CDriver& contract::Driver()
{
    static CWin32Driver driver;
    return driver;
}

CTestWindowSystem& Win32TestWindowSystem()
{
    return static_cast<CWin32Driver&>(contract::Driver()).TestWindowSystem();
}
