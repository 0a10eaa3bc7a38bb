// The Win32 window system as the tests see it: windows that note the icons
// they draw and count the row updates they are given, listed while they
// live.
#pragma once

#include "win32_api.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "win32_dialog_window.h"
#include "win32_window_system.h"

class CTestWindowSystem;

class CRecordingWindow : public CWin32DialogWindow {
public:
    CRecordingWindow(CTestWindowSystem& ws, const res::DialogTemplate& tmpl,
                     wsys::IDialogHandler& handler);
    ~CRecordingWindow() override;

    void DrawIcon(int x, int y, wsys::IconHandle icon) override
    {
        draws.push_back({x, y, icon});
        CWin32DialogWindow::DrawIcon(x, y, icon);
    }
    void UpdateRows(int id, const wsys::RowChange& change) override;

    struct Draw {
        int x, y;
        wsys::IconHandle icon;
    };
    std::vector<Draw> draws;

private:
    CTestWindowSystem& m_testWs;
};

class CTestWindowSystem : public CWin32WindowSystem {
public:
    std::vector<CRecordingWindow*> windows;  // alive, oldest first
    int rowUpdates = 0;

    // The window of dialog `hwnd`, or nullptr.
    CRecordingWindow* Find(HWND hwnd) const
    {
        for (CRecordingWindow* w : windows)
            if (hwnd && w->Hwnd() == hwnd)
                return w;
        return nullptr;
    }

protected:
    std::unique_ptr<CWin32DialogWindow> MakeWindow(const res::DialogTemplate& tmpl,
                                                   wsys::IDialogHandler& handler) override
    {
        return std::make_unique<CRecordingWindow>(*this, tmpl, handler);
    }
};

inline CRecordingWindow::CRecordingWindow(CTestWindowSystem& ws, const res::DialogTemplate& tmpl,
                                          wsys::IDialogHandler& handler)
    : CWin32DialogWindow(ws, tmpl, handler), m_testWs(ws)
{
    ws.windows.push_back(this);
}

inline CRecordingWindow::~CRecordingWindow()
{
    auto& all = m_testWs.windows;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

inline void CRecordingWindow::UpdateRows(int id, const wsys::RowChange& change)
{
    ++m_testWs.rowUpdates;
    CWin32DialogWindow::UpdateRows(id, change);
}
