// One modal dialog on the Windows dialog manager, routing its messages to
// a wsys::IDialogHandler.
#pragma once

#include "win32_api.h"

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "resources.h"
#include "window_system.h"

class CWin32WindowSystem;

class CWin32DialogWindow : public wsys::IWindow {
public:
    // The message that runs posted functions.
    static constexpr UINT kRunPosted = WM_APP + 0x2A;

    CWin32DialogWindow(CWin32WindowSystem& ws, const res::DialogTemplate& tmpl,
                       wsys::IDialogHandler& handler);
    ~CWin32DialogWindow() override;

    // wsys::IWindow
    int RunModal() override;
    void EndDialog(int result) override;
    std::u16string GetItemText(int id) const override;
    void SetItemText(int id, const std::u16string& text) override;
    void LimitText(int id, int maxUnits) override;
    void SetInputFilter(int id, std::function<bool(const std::u16string&)> accept) override;
    void SetCopyAllEntry(int id, const std::u16string& label,
                         std::function<std::u16string()> text) override;
    void SetItemToolTip(int id, const std::u16string& text) override;
    void SetTimer(int id, int periodMs) override;
    void KillTimer(int id) override;
    bool AppendSystemMenu(wsys::MenuItem kind, int id, const std::u16string& text) override;
    void SetIcon(wsys::IconHandle icon, bool big) override;
    bool IsIconic() const override;
    wsys::Size ClientSize() const override;
    wsys::Size SystemIconSize() const override;
    void DrawIcon(int x, int y, wsys::IconHandle icon) override;
    void Post(std::function<void()> fn) override;

    // The dialog window while RunModal runs, else nullptr.
    HWND Hwnd() const { return m_hwnd; }

private:
    struct Filter {
        std::function<bool(const std::u16string&)> accept;
        std::u16string accepted;  // the text as last accepted
        char16_t pendingHigh = 0;  // first half of a character being typed
        bool holdCheck = false;    // between the two halves
        bool composing = false;    // an input method's text not yet committed
    };

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                     DWORD_PTR self);
    static LRESULT CALLBACK CopyAllProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                        DWORD_PTR self);
    void ShowCopyAllMenu(HWND edit, LPARAM at);
    INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void OnInit();
    void OnCommandMessage(WPARAM wp, LPARAM lp);
    void OnPaintMessage();
    void OnGone();
    void RunPosted();
    void CheckInput(int id);
    void SetEditText(HWND edit, const std::u16string& text);
    void SetHistoryText(HWND edit, const std::u16string& text);
    void FitStatic(HWND label, int templateWidth);
    void CenterOnOwner();

    CWin32WindowSystem& m_ws;
    const res::DialogTemplate& m_tmpl;
    wsys::IDialogHandler& m_handler;
    HWND m_hwnd = nullptr;
    HWND m_hTip = nullptr;
    HDC m_hPaintDC = nullptr;  // inside OnPaint only
    bool m_bEnded = false;
    int m_nResult = 0;
    bool m_bInTimer = false;
    bool m_bSettingText = false;
    int m_nHistoryLineHeight = 0;
    std::set<int> m_menuIds;
    std::set<int> m_buttons;
    std::set<int> m_tipIds;
    std::map<int, res::ControlKind> m_kinds;
    std::map<int, int> m_staticWidths;  // template width in pixels
    std::map<int, Filter> m_filters;
    struct CopyAll {
        std::u16string label;
        std::function<std::u16string()> text;
    };
    std::map<int, CopyAll> m_copyAll;

    // Shared with Post, which any thread may call.
    std::mutex m_postLock;
    HWND m_hPostTarget = nullptr;
    bool m_bPostSignalled = false;
    std::vector<std::function<void()>> m_posted;
};
