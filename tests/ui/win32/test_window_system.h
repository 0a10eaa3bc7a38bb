// The Win32 window system as the tests see it: windows that note the icons
// they draw and count the row updates they are given, listed while they
// live.
#pragma once

#include "win32_api.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win32_dialog_window.h"
#include "win32_window_system.h"
#include "window_contract.h"

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

protected:
    // The save dialog and the message box, answered as the test says.
    BOOL RunSaveDialog(OPENFILENAMEW& ofn) override;
    int RunMessageBox(const std::u16string& text, const std::u16string& caption,
                      UINT type) override;

public:

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
    // The save dialogs' answer, and what they and the message boxes were.
    std::u16string savePath;
    std::function<void()> whileSaveOpen;
    std::vector<contract::SaveOffer> saveOffers;
    std::vector<std::u16string> messages;

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

inline BOOL CRecordingWindow::RunSaveDialog(OPENFILENAMEW& ofn)
{
    contract::SaveOffer offer;
    auto u16 = [](const wchar_t* s) {
        return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
    };
    offer.title = u16(ofn.lpstrTitle);
    const std::u16string initial = u16(ofn.lpstrFile);
    const std::size_t sep = initial.find_last_of(u"\\/");
    offer.folder = sep == std::u16string::npos ? std::u16string() : initial.substr(0, sep);
    offer.name = sep == std::u16string::npos ? initial : initial.substr(sep + 1);
    // Label, pattern, label, pattern, ..., then an empty string.
    for (const wchar_t* f = ofn.lpstrFilter; f && *f;) {
        offer.filters.push_back(u16(f));
        f += wcslen(f) + 1;
        if (*f)
            f += wcslen(f) + 1;
    }
    offer.asksBeforeReplacing = (ofn.Flags & OFN_OVERWRITEPROMPT) != 0;
    m_testWs.saveOffers.push_back(offer);
    if (m_testWs.whileSaveOpen)
        m_testWs.whileSaveOpen();
    const std::u16string& path = m_testWs.savePath;
    if (path.empty() || path.size() >= ofn.nMaxFile)
        return FALSE;
    std::copy(path.begin(), path.end(), ofn.lpstrFile);
    ofn.lpstrFile[path.size()] = L'\0';
    return TRUE;
}

inline int CRecordingWindow::RunMessageBox(const std::u16string& text, const std::u16string&,
                                           UINT)
{
    m_testWs.messages.push_back(text);
    return 1;  // OK
}
