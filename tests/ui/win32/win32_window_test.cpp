// What is the Windows dialog manager's own, under Wine on a private X
// server: the in-memory template's layout and styles, and the icon of a
// minimised window. What every window system does alike is in
// ../contract_*_test.cpp, run here through win32_driver.cpp.
#include "win32_api.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "fake_platform.h"
#include "icon_position.h"
#include "resources.h"
#include "wendrel_dlg.h"
#include "win32_dialog_template.h"
#include "win32_dialog_window.h"
#include "win32_driver.h"
#include "window_contract.h"

namespace {

// Where the dialog manager puts a control: it converts the position and
// the size each on its own (each rounded), not the far corner, so the
// right edge may differ by a pixel from the converted x + cx.
RECT DialogRect(HWND dlg, int x, int y, int cx, int cy)
{
    RECT r{x, y, cx, cy};
    MapDialogRect(dlg, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}


using contract::CPlainHandler;

HWND Hwnd(wsys::IWindow* w) { return static_cast<CWin32DialogWindow*>(w)->Hwnd(); }

class Win32WindowTest : public ::testing::Test {
protected:
    CTestWindowSystem& m_ws = Win32TestWindowSystem();
};

// --- layout ---

TEST_F(Win32WindowTest, ControlsSitWhereTheTemplatePutsThem)
{
    for (int id : {res::IDD_WENDREL_DIALOG, res::IDD_ABOUTBOX}) {
        SCOPED_TRACE(id);
        const res::DialogTemplate& t = *res::FindDialogTemplate(id);
        CPlainHandler h;
        auto wnd = m_ws.CreateDialogWindow(id, h);
        h.wnd = wnd.get();
        h.onInit = [&] {
            HWND dlg = Hwnd(wnd.get());
            EXPECT_EQ(WindowText(dlg), t.title);
            RECT client;
            GetClientRect(dlg, &client);
            EXPECT_EQ(Tie(client), Tie(DialogRect(dlg, 0, 0, t.cx, t.cy)));

            // The face chosen for the template (win32_scale_test.cpp), at
            // the template's size.
            LOGFONTW lf{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0)), sizeof lf, &lf);
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(lf.lfFaceName)),
                      static_cast<CWin32DialogWindow*>(wnd.get())->Face());
            HDC dc = GetDC(dlg);
            EXPECT_EQ(lf.lfHeight, -MulDiv(t.pointSize, GetDeviceCaps(dc, LOGPIXELSY), 72));
            ReleaseDC(dlg, dc);

            const LONG style = GetWindowLongW(dlg, GWL_STYLE);
            EXPECT_TRUE(style & WS_CAPTION);
            EXPECT_TRUE(style & WS_SYSMENU);
            EXPECT_FALSE(style & WS_MAXIMIZEBOX);
            EXPECT_FALSE(style & WS_THICKFRAME);
            EXPECT_EQ(!!(style & WS_MINIMIZEBOX), id == res::IDD_WENDREL_DIALOG);

            // Every control in template order (the z-order), each at its
            // rectangle; an icon control takes the icon's own size.
            HWND child = GetWindow(dlg, GW_CHILD);
            for (const res::ControlTemplate& c : t.controls) {
                SCOPED_TRACE(c.name);
                if (child && !(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) {
                    // The hidden label that names the edit control after it.
                    EXPECT_EQ(WindowText(child), c.accessibleName);
                    child = GetWindow(child, GW_HWNDNEXT);
                }
                ASSERT_TRUE(child);
                // DLGITEMTEMPLATEEX holds a 32-bit id: IDC_STATIC stays -1.
                EXPECT_EQ(GetDlgCtrlID(child), c.id);
                const RECT want = DialogRect(dlg, c.x, c.y, c.cx, c.cy);
                const RECT got = ChildRect(dlg, child);
                if (c.kind == res::ControlKind::Icon) {
                    EXPECT_EQ(got.left, want.left);
                    EXPECT_EQ(got.top, want.top);
                    EXPECT_EQ(got.right - got.left, GetSystemMetrics(SM_CXICON));
                    EXPECT_TRUE(SendMessageW(child, STM_GETICON, 0, 0)) << "icon 128 shown";
                } else {
                    EXPECT_EQ(Tie(got), Tie(want));
                    if (c.kind != res::ControlKind::Edit && c.kind != res::ControlKind::MultiEdit) {
                        EXPECT_EQ(WindowText(child), c.text);
                    }
                }
                child = GetWindow(child, GW_HWNDNEXT);
            }
            EXPECT_FALSE(child) << "no control beyond the template";
            wnd->EndDialog(7);
        };
        EXPECT_EQ(wnd->RunModal(), 7);
        EXPECT_EQ(h.destroyed, 1);
    }
}

TEST_F(Win32WindowTest, ConsoleStyles)
{
    CPlainHandler h;
    auto wnd = m_ws.CreateDialogWindow(res::IDD_WENDREL_DIALOG, h);
    h.wnd = wnd.get();
    h.onInit = [&] {
        HWND dlg = Hwnd(wnd.get());
        EXPECT_TRUE(GetWindowLongW(dlg, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        auto style = [&](int id) { return GetWindowLongW(GetDlgItem(dlg, id), GWL_STYLE); };
        EXPECT_EQ(style(res::IDOK) & 0x0F, BS_DEFPUSHBUTTON);
        EXPECT_EQ(style(res::IDCANCEL) & 0x0F, BS_PUSHBUTTON);
        const LONG history = style(res::IDC_HISTORY);
        EXPECT_TRUE(history & ES_MULTILINE);
        EXPECT_TRUE(history & ES_READONLY);
        EXPECT_TRUE(history & ES_AUTOHSCROLL);
        EXPECT_FALSE(history & (WS_VSCROLL | WS_HSCROLL));
        EXPECT_FALSE(style(res::IDC_SEND_TEXT) & (ES_MULTILINE | ES_READONLY));
        EXPECT_TRUE(style(res::IDC_STATUS) & WS_GROUP);

        wnd->EndDialog(1);
    };
    wnd->RunModal();
}

TEST_F(Win32WindowTest, MinimisedIconSitsWhereTheFormulaPutsIt)
{
    contract::CDriver& d = contract::Driver();
    auto board = std::make_shared<hid::test::FakePlatform>();
    CWendrelDlg dlg(m_ws, board);
    const int result = d.Run([&] { return dlg.DoModal(); }, [&] {
        CRecordingWindow* wnd = m_ws.windows.front();
        const auto* icon = CWin32WindowSystem::ToIcon(m_ws.LoadIcon(res::IDR_MAINFRAME));
        ASSERT_TRUE(icon);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(wnd->Hwnd(), WM_GETICON, ICON_BIG, 0)), icon->bigIcon);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(wnd->Hwnd(), WM_GETICON, ICON_SMALL, 0)), icon->smallIcon);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(wnd->Hwnd(), WM_QUERYDRAGICON, 0, 0)), icon->bigIcon);
        // Wine's virtual desktop may restore a minimised window on its
        // next turn: look at once, while it is still minimised.
        ShowWindow(wnd->Hwnd(), SW_MINIMIZE);
        EXPECT_TRUE(IsIconic(wnd->Hwnd()));
        wnd->draws.clear();
        // A paint while minimised, as the window manager asks for one.
        SendMessageW(wnd->Hwnd(), WM_PAINT, 0, 0);
        EXPECT_EQ(wnd->draws.size(), 1u);
        if (!wnd->draws.empty()) {
            RECT client;
            GetClientRect(wnd->Hwnd(), &client);
            const wsys::Size at = MinimisedIconOrigin(
                {client.right, client.bottom},
                {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)});
            EXPECT_EQ(wnd->draws[0].x, at.cx);
            EXPECT_EQ(wnd->draws[0].y, at.cy);
            EXPECT_EQ(wnd->draws[0].icon, m_ws.LoadIcon(res::IDR_MAINFRAME));
        }
        ShowWindow(wnd->Hwnd(), SW_RESTORE);
        d.ProcessEvents();
        wnd->draws.clear();
        SendMessageW(wnd->Hwnd(), WM_PAINT, 0, 0);
        EXPECT_TRUE(wnd->draws.empty()) << "no icon over a restored window";
        d.CloseBox();
    });
    EXPECT_EQ(result, res::IDCANCEL);
}

}  // namespace
