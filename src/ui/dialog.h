// A modal dialog on a window system: the framework side of the console and
// the About box. It builds the window from its template, routes the
// window's events to virtual handlers, and moves bound fields to and from
// their controls (DoDataExchange / UpdateData).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "resources.h"
#include "window_system.h"

class CDataExchange {
public:
    CDataExchange(wsys::IWindow& wnd, bool bSaveAndValidate)
        : m_wnd(wnd), m_bSaveAndValidate(bSaveAndValidate) {}

    wsys::IWindow& m_wnd;
    const bool m_bSaveAndValidate;
    int m_idLastControl = 0;
    bool m_bFailed = false;
};

// Field <-> control text.
void DDX_Text(CDataExchange* pDX, int id, std::u16string& value);
// Loading: limits the last exchanged edit control to `maxChars`.
// Saving: fails the exchange when the field is longer.
void DDV_MaxChars(CDataExchange* pDX, const std::u16string& value, int maxChars);

class CDialog : public wsys::IDialogHandler {
public:
    CDialog(wsys::IWindowSystem& ws, int templateId);
    ~CDialog() override;

    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until it is ended; returns the EndDialog result.
    int DoModal();
    void EndDialog(int result);

    // true: reads the controls into the bound fields ("read back");
    // false: writes the fields into the controls ("refresh").
    bool UpdateData(bool bSaveAndValidate = true);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();

    // wsys::IDialogHandler
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void OnTimer(int id) override;
    void OnSysCommand(int id, long param) override;
    void OnPaint() override;
    wsys::IconHandle OnQueryDragIcon() override;
    void OnDestroy() override;

    // Runs `fn` on the user-interface thread while the window exists;
    // callable from any thread, never waits for the user-interface thread.
    void PostToWindow(std::function<void()> fn);

    // The live window; only between the start and the end of DoModal, and
    // only on the user-interface thread.
    wsys::IWindow* Window() const { return m_pWnd; }
    wsys::IWindowSystem& WindowSystem() const { return m_ws; }

private:
    wsys::IWindowSystem& m_ws;
    const int m_nTemplate;
    // Guards m_pWnd against PostToWindow, and is held while posting into
    // the window's queue: m_wndLock, then CPostQueue::m_lock, the one lock
    // taken under another outside the device layer. Nothing that holds the
    // queue's lock takes this one.
    std::mutex m_wndLock;
    wsys::IWindow* m_pWnd = nullptr;
};
