// The window system on the Windows dialog manager, run under Wine on a
// private X server with the fake board: layout, keys, the window menu,
// the input filter, the history box, minimised painting, hand-over from
// other threads, and screenshots of both dialogs.
#include "win32_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "fake_platform.h"
#include "icon_position.h"
#include "resources.h"
#include "wendrel_dlg.h"
#include "win32_dialog_template.h"
#include "win32_dialog_window.h"
#include "win32_window_system.h"

using hid::test::FakeBoard;
using hid::test::FakePlatform;

namespace {

const std::u16string kPath = u"\\\\?\\hid#vid_04d8&pid_003f#1";

FakeBoard Board() { return {kPath, u"HID\\VID_04D8&PID_003F&REV_0002", {65, 65}}; }

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string Text(HWND h)
{
    wchar_t buf[4096] = {};
    GetWindowTextW(h, buf, 4096);
    return reinterpret_cast<const char16_t*>(buf);
}

RECT ChildRect(HWND dlg, HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Where the dialog manager puts a control: it converts the position and
// the size each on its own (each rounded), not the far corner, so the
// right edge may differ by a pixel from the converted x + cx.
RECT DialogRect(HWND dlg, int x, int y, int cx, int cy)
{
    RECT r{x, y, cx, cy};
    MapDialogRect(dlg, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

std::tuple<long, long, long, long> Tie(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// A window that also notes where the icon was drawn.
class RecordingWindow : public CWin32DialogWindow {
public:
    using CWin32DialogWindow::CWin32DialogWindow;
    void DrawIcon(int x, int y, wsys::IconHandle icon) override
    {
        draws.push_back({x, y, icon});
        CWin32DialogWindow::DrawIcon(x, y, icon);
    }
    struct Draw {
        int x, y;
        wsys::IconHandle icon;
    };
    std::vector<Draw> draws;
};

class TestWindowSystem : public CWin32WindowSystem {
public:
    std::vector<RecordingWindow*> windows;  // alive while their dialog runs

protected:
    std::unique_ptr<CWin32DialogWindow> MakeWindow(const res::DialogTemplate& tmpl,
                                                   wsys::IDialogHandler& handler) override
    {
        auto w = std::make_unique<RecordingWindow>(*this, tmpl, handler);
        windows.push_back(w.get());
        return w;
    }
};

// Steps run one after another from a thread timer, inside whichever modal
// loop runs (the About box's too). A step returns false to be called again
// later (waiting for something); a stuck script cancels every dialog.
class Script {
public:
    using Step = std::function<bool()>;

    explicit Script(std::vector<Step> steps) : m_steps(std::move(steps))
    {
        s_current = this;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        m_timer = ::SetTimer(nullptr, 0, 10, &Script::Tick);
    }
    ~Script()
    {
        ::KillTimer(nullptr, m_timer);
        s_current = nullptr;
    }
    bool Finished() const { return m_next == m_steps.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        Script* self = s_current;
        if (!self || self->m_busy)
            return;
        self->m_busy = true;
        if (self->m_next < self->m_steps.size()) {
            if (self->m_steps[self->m_next]())
                ++self->m_next;
            else if (std::chrono::steady_clock::now() > self->m_deadline)
                self->GiveUp();
        }
        self->m_busy = false;
    }
    void GiveUp()
    {
        ADD_FAILURE() << "script step " << m_next << " never completed";
        m_next = m_steps.size();
        // Close the innermost dialog first, then the others.
        for (int i = 0; i < 4; ++i) {
            HWND active = GetActiveWindow();
            if (active)
                PostMessageW(active, WM_COMMAND, res::IDCANCEL, 0);
        }
    }

    static inline Script* s_current = nullptr;
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    bool m_busy = false;
    UINT_PTR m_timer = 0;
    std::chrono::steady_clock::time_point m_deadline;
};

// Leaves a bitmap of the window (with its frame) for the run script to
// turn into a PNG.
void SaveScreenshot(HWND hwnd, const char* name)
{
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    RECT r;
    GetWindowRect(hwnd, &r);
    const int cx = r.right - r.left, cy = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, cx, cy);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, cx, cy, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFOHEADER bi{};
    bi.biSize = sizeof bi;
    bi.biWidth = cx;
    bi.biHeight = -cy;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    const int stride = (cx * 3 + 3) / 4 * 4;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * cy);
    GetDIBits(mem, bmp, 0, cy, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);

    std::string path = std::string("Z:") + WENDREL_SCREENSHOT_DIR + "/" + name + ".bmp";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi;
    fh.bfSize = static_cast<DWORD>(fh.bfOffBits + pixels.size());
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&fh, sizeof fh, 1, f);
        std::fwrite(&bi, sizeof bi, 1, f);
        std::fwrite(pixels.data(), 1, pixels.size(), f);
        std::fclose(f);
    } else {
        ADD_FAILURE() << "cannot write " << path;
    }
}

// A dialog that does nothing of its own, for the window system's part.
class PlainHandler : public wsys::IDialogHandler {
public:
    wsys::IWindow* wnd = nullptr;
    std::function<void()> onInit;
    std::vector<int> commands;
    int destroyed = 0;

    bool OnInitDialog() override
    {
        if (onInit)
            onInit();
        return true;
    }
    void OnCommand(int id) override
    {
        commands.push_back(id);
        if (id == res::IDCANCEL)
            wnd->EndDialog(id);
    }
    void OnTimer(int) override {}
    void OnSysCommand(int, long) override {}
    void OnPaint() override {}
    wsys::IconHandle OnQueryDragIcon() override { return nullptr; }
    void OnDestroy() override { ++destroyed; }
};

HWND Hwnd(wsys::IWindow* w) { return static_cast<CWin32DialogWindow*>(w)->Hwnd(); }

void Key(HWND target, UINT vk)
{
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
}

void Type(HWND edit, const std::u16string& text)
{
    for (char16_t c : text)
        SendMessageW(edit, WM_CHAR, c, 1);
}

bool Paste(HWND edit, const std::u16string& text)
{
    if (!OpenClipboard(edit))
        return false;
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t));
    std::memcpy(GlobalLock(mem), text.c_str(), (text.size() + 1) * sizeof(char16_t));
    GlobalUnlock(mem);
    SetClipboardData(CF_UNICODETEXT, mem);
    CloseClipboard();
    SendMessageW(edit, WM_PASTE, 0, 0);
    return true;
}

class Win32WindowTest : public ::testing::Test {
protected:
    std::shared_ptr<FakePlatform> m_board = std::make_shared<FakePlatform>();
    TestWindowSystem m_ws;
};

// --- layout ---

TEST_F(Win32WindowTest, ControlsSitWhereTheTemplatePutsThem)
{
    for (int id : {res::IDD_WENDREL_DIALOG, res::IDD_ABOUTBOX}) {
        SCOPED_TRACE(id);
        const res::DialogTemplate& t = *res::FindDialogTemplate(id);
        PlainHandler h;
        auto wnd = m_ws.CreateDialogWindow(id, h);
        h.wnd = wnd.get();
        h.onInit = [&] {
            HWND dlg = Hwnd(wnd.get());
            EXPECT_EQ(Text(dlg), t.title);
            RECT client;
            GetClientRect(dlg, &client);
            EXPECT_EQ(Tie(client), Tie(DialogRect(dlg, 0, 0, t.cx, t.cy)));

            // The template's font, at its size.
            LOGFONTW lf{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0)), sizeof lf, &lf);
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(lf.lfFaceName)), t.fontFace);
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
                    EXPECT_EQ(Text(child), c.accessibleName);
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
                    if (c.kind != res::ControlKind::Edit && c.kind != res::ControlKind::MultiEdit)
                        EXPECT_EQ(Text(child), c.text);
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

TEST_F(Win32WindowTest, ConsoleStylesAndTabOrder)
{
    PlainHandler h;
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

        const int order[] = {res::IDOK, res::IDCANCEL, res::IDC_HISTORY, res::IDC_SEND_TEXT,
                             res::IDC_BOOT, res::IDOK};
        HWND at = GetDlgItem(dlg, order[0]);
        for (std::size_t i = 1; i < std::size(order); ++i) {
            at = GetNextDlgTabItem(dlg, at, FALSE);
            EXPECT_EQ(GetDlgCtrlID(at), order[i]);
        }
        wnd->EndDialog(1);
    };
    wnd->RunModal();
}

// --- the console: keys, buttons, window menu, About box ---

class ConsoleTest : public Win32WindowTest {
protected:
    std::unique_ptr<CWendrelDlg> m_dlg = std::make_unique<CWendrelDlg>(m_ws, m_board);

    HWND Console() const { return m_ws.ActiveDialog(); }
    HWND Item(int id) const { return GetDlgItem(Console(), id); }
    bool Connected() const { return Text(Item(res::IDC_STATUS)) == u"VID:0x04D8 / PID:0x003F"; }

    std::vector<Script::Step> Connect()
    {
        return {[this] {
                    m_board->Plug(Board());
                    return true;
                },
                [this] { return Connected(); }};
    }
    bool Wrote(std::size_t count) const { return m_board->Written(kPath).size() >= count; }
    std::string Payload(std::size_t i) const
    {
        const auto reports = m_board->Written(kPath);
        if (i >= reports.size())
            return "<none>";
        return std::string(reinterpret_cast<const char*>(reports[i].data() + 1));
    }
};

TEST_F(ConsoleTest, EnterSendsAndKeepsTheWindowOpen)
{
    std::vector<Script::Step> steps = Connect();
    steps.push_back([this] {
        SetFocus(Item(res::IDC_SEND_TEXT));
        Type(Item(res::IDC_SEND_TEXT), u"abc");
        Key(Item(res::IDC_SEND_TEXT), VK_RETURN);
        return true;
    });
    steps.push_back([this] { return Wrote(1); });
    steps.push_back([this] {
        EXPECT_EQ(Payload(0), "abc");
        EXPECT_EQ(Text(Item(res::IDC_SEND_TEXT)), u"");
        SendMessageW(Item(res::IDC_BOOT), BM_CLICK, 0, 0);
        return true;
    });
    steps.push_back([this] { return Wrote(2); });
    steps.push_back([this] {
        EXPECT_EQ(Payload(1), "Boot");
        EXPECT_TRUE(IsWindowVisible(Console()));
        Key(Item(res::IDC_SEND_TEXT), VK_ESCAPE);
        return true;
    });
    Script script(steps);
    EXPECT_EQ(m_dlg->DoModal(), res::IDCANCEL);
    EXPECT_TRUE(script.Finished());
}

TEST_F(ConsoleTest, EscapeCloseBoxAndQuitEachEndTheConsole)
{
    const std::pair<const char*, std::function<void(HWND)>> ways[] = {
        {"Escape", [](HWND dlg) { Key(GetDlgItem(dlg, res::IDC_SEND_TEXT), VK_ESCAPE); }},
        {"close box", [](HWND dlg) { PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"終了", [](HWND dlg) { PostMessageW(GetDlgItem(dlg, res::IDCANCEL), BM_CLICK, 0, 0); }},
    };
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name);
        CWendrelDlg dlg(m_ws, m_board);
        Script script({[&] {
            way(Console());
            return true;
        }});
        EXPECT_EQ(dlg.DoModal(), res::IDCANCEL);
        EXPECT_TRUE(script.Finished());
    }
    EXPECT_TRUE(m_board->Written(kPath).empty());
}

TEST_F(ConsoleTest, WindowMenuOpensTheAboutBox)
{
    HWND about = nullptr;
    Script script({
        [this] {
            HMENU menu = GetSystemMenu(Console(), FALSE);
            const int n = GetMenuItemCount(menu);
            EXPECT_GE(n, 2);
            MENUITEMINFOW mi{};
            mi.cbSize = sizeof mi;
            mi.fMask = MIIM_FTYPE;
            GetMenuItemInfoW(menu, n - 2, TRUE, &mi);
            EXPECT_TRUE(mi.fType & MFT_SEPARATOR);
            wchar_t text[128] = {};
            GetMenuStringW(menu, n - 1, text, 128, MF_BYPOSITION);
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text)),
                      u"バージョン情報 Wendrel(&A)...");
            EXPECT_EQ(GetMenuItemID(menu, n - 1), 0x0010u);
            PostMessageW(Console(), WM_SYSCOMMAND, 0x0010, 0);
            return true;
        },
        [&] {
            about = FindWindowW(L"#32770", L"バージョン情報 Wendrel");
            return about && IsWindowVisible(about);
        },
        [&, console = HWND()]() mutable {
            console = m_ws.windows.front()->Hwnd();
            EXPECT_EQ(GetWindow(about, GW_OWNER), console);
            EXPECT_FALSE(IsWindowEnabled(console)) << "modal";
            SaveScreenshot(about, "win32-about");
            Key(GetFocus(), VK_ESCAPE);
            return true;
        },
        [&] { return !IsWindow(about); },
        [this] {
            EXPECT_TRUE(IsWindowEnabled(Console()));
            PostMessageW(GetDlgItem(Console(), res::IDCANCEL), BM_CLICK, 0, 0);
            return true;
        },
    });
    EXPECT_EQ(m_dlg->DoModal(), res::IDCANCEL);
    EXPECT_TRUE(script.Finished());
}

TEST_F(ConsoleTest, ScreenshotWithLines)
{
    std::vector<Script::Step> steps = Connect();
    steps.push_back([this] {
        for (int i = 1; i <= 20; ++i) {
            char line[40];
            std::snprintf(line, sizeof line, "line %02d: %s", i, i % 2 ? "Hello" : "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd");
            hid::test::Report r(65, 0);
            std::memcpy(r.data() + 1, line, std::strlen(line));
            m_board->PushInput(kPath, r);
        }
        return true;
    });
    steps.push_back([this] { return Text(Item(res::IDC_HISTORY)).find(u"line 20") != std::u16string::npos; });
    steps.push_back([this] {
        Type(Item(res::IDC_SEND_TEXT), u"送信する行");
        SaveScreenshot(Console(), "win32-console");
        PostMessageW(Console(), WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    });
    Script script(steps);
    EXPECT_EQ(m_dlg->DoModal(), res::IDCANCEL);
    EXPECT_TRUE(script.Finished());
}

TEST_F(ConsoleTest, MinimisedIconSitsWhereTheFormulaPutsIt)
{
    RecordingWindow* wnd = nullptr;
    Script script({
        [&] {
            wnd = m_ws.windows.front();
            const auto* icon = CWin32WindowSystem::ToIcon(m_ws.LoadIcon(res::IDR_MAINFRAME));
            EXPECT_TRUE(icon);
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
            return true;
        },
        [&] {
            wnd->draws.clear();
            SendMessageW(wnd->Hwnd(), WM_PAINT, 0, 0);
            EXPECT_TRUE(wnd->draws.empty()) << "no icon over a restored window";
            PostMessageW(wnd->Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
            return true;
        },
    });
    EXPECT_EQ(m_dlg->DoModal(), res::IDCANCEL);
    EXPECT_TRUE(script.Finished());
}

// --- the input filter ---

struct FilterCase {
    const char* name;
    std::u16string before;
    int selStart, selEnd;  // selection before the change
    bool paste;
    std::u16string input;
    std::u16string after;
};

TEST_F(Win32WindowTest, InputFilterRefusesAndCutsAtWholeCharacters)
{
    // The filter: at most 8 units, no 'x'; the limit is the console's 63.
    const FilterCase cases[] = {
        {"typed", u"", 0, 0, false, u"abc", u"abc"},
        {"refused key skipped", u"", 0, 0, false, u"abxc", u"abc"},
        {"typed past the filter", u"abcdefgh", 8, 8, false, u"i", u"abcdefgh"},
        {"refused key over a selection", u"abcdef", 1, 3, false, u"x", u"abcdef"},
        {"paste cut to fit", u"abc", 3, 3, true, u"123456789", u"abc12345"},
        {"paste cut before a refused char", u"", 0, 0, true, u"12x45", u"12"},
        {"paste in the middle", u"abcd", 2, 2, true, u"123456", u"ab1234cd"},
        {"paste over a selection", u"abcdef", 0, 6, true, u"123456789", u"12345678"},
        {"paste wholly refused", u"abc", 1, 2, true, u"x", u"abc"},
        {"pair not split", u"abcdef", 6, 6, true, u"g\U0001F600", u"abcdefg"},
        {"pair typed", u"ab", 2, 2, false, u"\U0001F600", u"ab\U0001F600"},
        {"pair typed past the filter", u"abcdefg", 7, 7, false, u"\U0001F600", u"abcdefg"},
    };
    PlainHandler h;
    auto wnd = m_ws.CreateDialogWindow(res::IDD_WENDREL_DIALOG, h);
    h.wnd = wnd.get();
    h.onInit = [&] {
        HWND edit = GetDlgItem(Hwnd(wnd.get()), res::IDC_SEND_TEXT);
        wnd->LimitText(res::IDC_SEND_TEXT, 63);
        wnd->SetInputFilter(res::IDC_SEND_TEXT, [](const std::u16string& t) {
            return t.size() <= 8 && t.find(u'x') == std::u16string::npos;
        });
        for (const FilterCase& c : cases) {
            SCOPED_TRACE(c.name);
            wnd->SetItemText(res::IDC_SEND_TEXT, c.before);
            SendMessageW(edit, EM_SETSEL, c.selStart, c.selEnd);
            if (c.paste)
                ASSERT_TRUE(Paste(edit, c.input));
            else
                Type(edit, c.input);
            EXPECT_EQ(wnd->GetItemText(res::IDC_SEND_TEXT), c.after);
        }
        // The program's own text is not the user's: no filter.
        wnd->SetItemText(res::IDC_SEND_TEXT, u"xxxxxxxxxx");
        EXPECT_EQ(wnd->GetItemText(res::IDC_SEND_TEXT), u"xxxxxxxxxx");
        // A refused change leaves the selection as it was.
        wnd->SetItemText(res::IDC_SEND_TEXT, u"abcdef");
        SendMessageW(edit, EM_SETSEL, 1, 3);
        Type(edit, u"x");
        DWORD s = 0, e = 0;
        SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        EXPECT_EQ(s, 1u);
        EXPECT_EQ(e, 3u);
        // The edit control's own limit cuts a pair in two: that half goes.
        wnd->LimitText(res::IDC_SEND_TEXT, 7);
        wnd->SetItemText(res::IDC_SEND_TEXT, u"abcdef");
        SendMessageW(edit, EM_SETSEL, 6, 6);
        Paste(edit, u"\U0001F600");
        EXPECT_EQ(wnd->GetItemText(res::IDC_SEND_TEXT), u"abcdef");
        wnd->EndDialog(1);
    };
    wnd->RunModal();
}

// --- the history box ---

std::vector<std::u16string> RowList(int first, int last)
{
    std::vector<std::u16string> rows;
    for (int i = first; i <= last; ++i) {
        char row[16];
        std::snprintf(row, sizeof row, "row %02d", i);
        rows.emplace_back(row, row + std::strlen(row));
    }
    return rows;
}

std::u16string Rows(int first, int last) { return wsys::JoinRows(RowList(first, last), u"\r\n"); }

TEST_F(Win32WindowTest, HistoryShowsTheNewestRowsAndKeepsASelection)
{
    PlainHandler h;
    auto wnd = m_ws.CreateDialogWindow(res::IDD_WENDREL_DIALOG, h);
    h.wnd = wnd.get();
    h.onInit = [&] {
        HWND box = GetDlgItem(Hwnd(wnd.get()), res::IDC_HISTORY);
        // More rows than fit: the last one is in view.
        wnd->UpdateRows(res::IDC_HISTORY, {true, 0, RowList(1, 40)});
        const int last = static_cast<int>(SendMessageW(box, EM_GETLINECOUNT, 0, 0)) - 1;
        EXPECT_EQ(last, 39);
        const LRESULT pos = SendMessageW(box, EM_POSFROMCHAR, SendMessageW(box, EM_LINEINDEX, last, 0), 0);
        RECT client;
        GetClientRect(box, &client);
        const int y = static_cast<short>(HIWORD(pos));
        EXPECT_GE(y, 0);
        EXPECT_LT(y, client.bottom);
        EXPECT_GT(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 0);

        // 18 rows fit: nothing scrolled.
        wnd->UpdateRows(res::IDC_HISTORY, {true, 0, RowList(1, 18)});
        EXPECT_EQ(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 0);

        // A selection follows its text as rows leave at the top.
        const std::u16string before = Rows(1, 18);
        const std::size_t at = before.find(u"row 05");
        SendMessageW(box, EM_SETSEL, at, at + 6);
        wnd->UpdateRows(res::IDC_HISTORY, {false, 2, RowList(19, 20)});
        DWORD s = 0, e = 0;
        SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        EXPECT_EQ(Rows(3, 20).substr(s, e - s), u"row 05");
        // Once its rows have left, nothing is selected.
        wnd->UpdateRows(res::IDC_HISTORY, {false, 7, RowList(21, 27)});
        SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        EXPECT_EQ(s, e);
        EXPECT_EQ(wnd->GetItemText(res::IDC_HISTORY), Rows(10, 27));
        wnd->EndDialog(1);
    };
    wnd->RunModal();
}

// --- hand-over from other threads ---

TEST_F(Win32WindowTest, PostRunsOnTheWindowsThreadInOrderAndNeverWaits)
{
    const DWORD uiThread = GetCurrentThreadId();
    PlainHandler h;
    auto wnd = m_ws.CreateDialogWindow(res::IDD_WENDREL_DIALOG, h);
    h.wnd = wnd.get();
    std::vector<int> ran;
    std::atomic<bool> wrongThread{false};
    constexpr int kPosts = 2000;
    Script script({
        [&] {
            // The window's thread is busy here, not pumping: a poster that
            // waited for it would never finish.
            std::thread poster([&] {
                for (int i = 0; i < kPosts; ++i)
                    wnd->Post([&, i] {
                        if (GetCurrentThreadId() != uiThread)
                            wrongThread = true;
                        ran.push_back(i);
                    });
            });
            poster.join();
            EXPECT_TRUE(ran.empty()) << "not run inside the poster's call";
            return true;
        },
        [&] { return ran.size() == kPosts; },
        [&] {
            wnd->EndDialog(1);
            return true;
        },
    });
    wnd->RunModal();
    EXPECT_TRUE(script.Finished());
    EXPECT_FALSE(wrongThread);
    ASSERT_EQ(ran.size(), static_cast<std::size_t>(kPosts));
    for (int i = 0; i < kPosts; ++i)
        ASSERT_EQ(ran[i], i);
}

TEST_F(Win32WindowTest, PostAfterTheWindowIsGoneIsDroppedAndFreed)
{
    auto token = std::make_shared<int>(0);
    std::atomic<int> runs{0};
    PlainHandler h;
    auto wnd = m_ws.CreateDialogWindow(res::IDD_WENDREL_DIALOG, h);
    h.wnd = wnd.get();
    h.onInit = [&] {
        // Posted, then the window ends before its loop turns: dropped.
        for (int i = 0; i < 100; ++i)
            wnd->Post([token, &runs] { ++runs; });
        wnd->EndDialog(1);
    };
    wnd->RunModal();
    EXPECT_EQ(token.use_count(), 1) << "every dropped function freed";

    std::thread late([&] { wnd->Post([token, &runs] { ++runs; }); });
    late.join();
    EXPECT_EQ(token.use_count(), 1);
    // Whatever message is still queued finds no window and runs nothing.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_EQ(runs, 0);
    wnd.reset();
}

}  // namespace
