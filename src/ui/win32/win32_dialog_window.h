// One modal dialog on the Windows dialog manager, routing its messages to
// a wsys::IDialogHandler. The box of rows (with its menu), the find
// window, the input line and the tooltips have files of their own; what
// follows the monitor's scale is in win32_dialog_window_scale.cpp.
#pragma once

#include "win32_api.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <commdlg.h>

#include "post_queue.h"
#include "resources.h"
#include "win32_dialog_scale.h"
#include "win32_tooltips.h"
#include "win32_window_system.h"
#include "window_system.h"

class CWin32Find;
class CWin32MessageFilter;
class CWin32InputLine;
class CWin32RowBox;

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
    void UpdateRows(int id, const wsys::RowChange& change) override;
    void LimitText(int id, int maxUnits) override;
    void SetInputFilter(int id, std::function<bool(const std::u16string&)> accept) override;
    void SetCopyAllEntry(int id, const std::u16string& label,
                         std::function<std::u16string()> text) override;
    void AddContextCommand(int id, int command, const std::u16string& label,
                           bool checkable) override;
    void SetContextCheck(int id, int command, bool checked) override;
    void AddFindEntry(int id) override;
    void SetLineRecall(int id, Recall recall) override;
    void AddCommandKey(char16_t letter, int command) override;
    std::optional<std::u16string> AskSavePath(const wsys::SaveRequest& request) override;
    void ShowError(const std::u16string& text) override;
    void Beep() override;
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
    const res::DialogTemplate& Template() const { return m_tmpl; }
    // The box of rows `id`, or nullptr; its find window, or nullptr.
    CWin32RowBox* RowBox(int id) const;
    CWin32Find* Find() const { return m_pFind.get(); }
    // The face the dialog was built in (win32_dialog_font.h).
    const std::u16string& Face() const { return m_strFace; }
    // The scale the dialog is laid out for.
    UINT Dpi() const { return m_scale.Dpi(); }

protected:
    // Where the save dialog and the message box run, modally; tests answer
    // them here.
    virtual BOOL RunSaveDialog(OPENFILENAMEW& ofn);
    virtual int RunMessageBox(const std::u16string& text, const std::u16string& caption,
                              UINT type);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void OnInit();
    void OnCommandMessage(WPARAM wp, LPARAM lp);
    void OnTimerMessage(int id);
    void OnPaintMessage();
    bool OnMouseWheel(WPARAM wp, LPARAM lp);
    CWin32InputLine* InputLine(int id);
    void OnGone();
    void RunPosted();
    // Widens a label for its text (`text`, or the one it has) and narrows
    // it back, never below the template's width.
    void FitLabel(HWND label, int templateWidth);
    void FitLabel(HWND label, int templateWidth, const std::u16string& text);
    void CenterOnOwner();
    // The scale: at the start, on WM_GETDPISCALEDSIZE and WM_DPICHANGED.
    void StartScale();
    bool OnGetDpiScaledSize(UINT dpi, SIZE* size);
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    // What is computed from the scale: label widths, the boxes' rows, the
    // tooltips' width, the icons.
    void FollowScale();
    const CWin32WindowSystem::Icon* ScaledIcon(wsys::IconHandle icon) const;

    CWin32WindowSystem& m_ws;
    const res::DialogTemplate& m_tmpl;
    wsys::IDialogHandler& m_handler;
    HWND m_hwnd = nullptr;
    HDC m_hPaintDC = nullptr;  // inside OnPaint only
    bool m_bEnded = false;
    int m_nResult = 0;
    bool m_bInTimer = false;
    std::set<int> m_menuIds;
    std::set<int> m_buttons;
    std::map<int, res::ControlKind> m_kinds;
    std::map<int, int> m_labelWidths;  // template width in pixels
    std::map<int, std::unique_ptr<CWin32InputLine>> m_lines;
    std::map<int, std::unique_ptr<CWin32RowBox>> m_rowBoxes;
    std::unique_ptr<CWin32Find> m_pFind;
    CWin32ToolTips m_tips;
    std::u16string m_strFace;
    CWin32DialogScale m_scale;
    int m_nBigIconId = 0;  // the icons the window shows, 0 for none
    int m_nSmallIconId = 0;
    // Ctrl+letter -> command, seen by a message filter made for the first.
    std::map<char16_t, int> m_commandKeys;
    std::unique_ptr<CWin32MessageFilter> m_pKeyFilter;

    // Functions posted from other threads. The message only says that the
    // queue has something, so one that outlives the window carries nothing
    // that could leak or dangle; the window it goes to is read by any
    // thread.
    wsys::CPostQueue m_posts;
    std::atomic<HWND> m_hPostTarget{nullptr};
};
