// What is the Windows find window's own: the system's dialog (FindTextW)
// with our title and the flags the shared search can honour, its keys
// inside the console's modal loop (the message filter), the message box
// that says nothing was found, and its end with the console.
#include "win32_api.h"

#include <dlgs.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resources.h"
#include "row_change.h"
#include "thread_timers.h"
#include "win32_dialog_window.h"
#include "win32_driver.h"
#include "win32_find.h"
#include "win32_input.h"
#include "win32_row_box.h"
#include "window_contract.h"
#include "window_contract_fixture.h"

namespace {

using wsys::RowChange;

// A system dialog (a message box) that comes up while `open` runs: its
// title, its texts and its owner; closed with res::IDOK.
struct SystemBox {
    HWND owner = nullptr;
    std::u16string title;
    std::vector<std::u16string> texts;
};

SystemBox BoxOpenedBy(HWND owner, const std::function<void()>& open)
{
    SystemBox seen;
    CTimers timers;
    const CTimers::Handle timer = timers.Start([&] {
        HWND box = nullptr;
        while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)))
            if (GetWindow(box, GW_OWNER) == owner && IsWindowVisible(box))
                break;
        if (!box)
            return false;
        seen.owner = owner;
        seen.title = TextOf(box);
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            seen.texts.push_back(TextOf(c));
        PostMessageW(box, WM_COMMAND, res::IDOK, 0);
        return true;
    });
    open();
    CTimers::Stop(timer);
    return seen;
}

class Win32FindTest : public ::testing::Test {
protected:
    contract::CDriver& d = contract::Driver();
    contract::CPlainHandler handler;
    std::unique_ptr<wsys::IWindow> wnd;

    void SetUp() override
    {
        wnd = Win32TestWindowSystem().CreateDialogWindow(res::IDD_WENDREL_DIALOG, handler);
        ASSERT_TRUE(wnd);
        handler.wnd = wnd.get();
        handler.onInit = [this] {
            wnd->AddFindEntry(res::IDC_HISTORY);
            std::vector<std::u16string> rows;
            for (int i = 1; i <= 60; ++i)
                rows.push_back((i % 10 == 0 ? u"Alpha " : u"alpha ") +
                               std::u16string(1, static_cast<char16_t>(u'0' + i % 10)));
            wnd->UpdateRows(res::IDC_HISTORY, RowChange{true, 0, rows});
        };
    }
    void Run(const std::function<void()>& user)
    {
        d.Run([this] { return wnd->RunModal(); }, user);
    }
    CWin32DialogWindow& Window() const { return *static_cast<CWin32DialogWindow*>(wnd.get()); }
    HWND Item(int id) const { return GetDlgItem(Window().Hwnd(), id); }
    HWND Find() const { return Window().Find() ? Window().Find()->Window() : nullptr; }
    std::pair<DWORD, DWORD> Selection() const
    {
        DWORD from = 0, to = 0;
        SendMessageW(Item(res::IDC_HISTORY), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                     reinterpret_cast<LPARAM>(&to));
        return {from, to};
    }
    void Click(HWND button)
    {
        SendMessageW(button, BM_CLICK, 0, 0);
        d.ProcessEvents();
    }
};

TEST_F(Win32FindTest, TheSystemsFindWindowWithOurTitle)
{
    Run([&] {
        SendMessageW(Item(res::IDC_HISTORY), EM_SETSEL, 9, 14);  // "alpha" of row 2
        SendKey(Item(res::IDC_SEND_TEXT), 'F', Mod::Ctrl);
        HWND find = Find();
        ASSERT_TRUE(find) << "Ctrl+F in the input line";
        EXPECT_TRUE(IsWindowVisible(find));
        EXPECT_EQ(GetWindow(find, GW_OWNER), Window().Hwnd());
        EXPECT_EQ(TextOf(find), u"検索");
        EXPECT_EQ(TextOf(GetDlgItem(find, edt1)), u"alpha") << "the selected text";
        EXPECT_EQ(GetFocus(), GetDlgItem(find, edt1));
        // The shared search knows no whole words.
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(find, chx1)));
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(find, chx2)));
        EXPECT_EQ(IsDlgButtonChecked(find, chx2), BST_UNCHECKED);
        EXPECT_EQ(IsDlgButtonChecked(find, rad2), BST_CHECKED) << "down";

        // Ctrl+F again takes a new selection into the open window.
        SendMessageW(Item(res::IDC_HISTORY), EM_SETSEL, 0, 7);  // "alpha 1"
        SendKey(Item(res::IDC_HISTORY), 'F', Mod::Ctrl);
        EXPECT_EQ(Find(), find);
        EXPECT_EQ(TextOf(GetDlgItem(find, edt1)), u"alpha 1");
    });
}

// The console's loop knows only the console: the find window's Tab, Enter
// and Escape, and F3 there, come through the message filter.
TEST_F(Win32FindTest, ItsKeysInsideTheConsolesLoop)
{
    Run([&] {
        SendMessageW(Item(res::IDC_HISTORY), EM_SETSEL, 0, 5);
        SendKey(Item(res::IDC_HISTORY), 'F', Mod::Ctrl);
        HWND find = Find();
        ASSERT_TRUE(find);
        SendKey(GetFocus(), VK_TAB);
        EXPECT_NE(GetFocus(), GetDlgItem(find, edt1));
        EXPECT_EQ(GetAncestor(GetFocus(), GA_ROOT), find) << "Tab stays in the find window";
        SendKey(GetFocus(), VK_TAB, Mod::Shift);
        EXPECT_EQ(GetFocus(), GetDlgItem(find, edt1));

        SendKey(GetFocus(), VK_RETURN);  // the default button: find next
        EXPECT_EQ(Selection(), std::make_pair(DWORD{9}, DWORD{14})) << "row 2's";
        SendKey(GetFocus(), VK_F3);
        EXPECT_EQ(Selection(), std::make_pair(DWORD{18}, DWORD{23})) << "row 3's";
        SendKey(GetFocus(), VK_F3, Mod::Shift);
        EXPECT_EQ(Selection(), std::make_pair(DWORD{9}, DWORD{14}));

        SendKey(GetFocus(), VK_ESCAPE);
        EXPECT_FALSE(Find());
        EXPECT_FALSE(IsWindow(find));
        // F3 in the box goes on with the last search.
        SendKey(Item(res::IDC_HISTORY), VK_F3);
        EXPECT_EQ(Selection(), std::make_pair(DWORD{18}, DWORD{23}));
    });
}

TEST_F(Win32FindTest, DirectionAndCaseFromTheWindow)
{
    Run([&] {
        SendMessageW(Item(res::IDC_HISTORY), EM_SETSEL, 0, 5);
        SendKey(Item(res::IDC_HISTORY), 'F', Mod::Ctrl);
        HWND find = Find();
        ASSERT_TRUE(find);
        Click(GetDlgItem(find, rad1));  // up
        Click(GetDlgItem(find, chx2));  // match case
        Click(GetDlgItem(find, res::IDOK));
        // Backward from row 1, case kept: the last "alpha" that is not "Alpha".
        const std::u16string text = TextOf(Item(res::IDC_HISTORY));
        const auto [from, to] = Selection();
        EXPECT_EQ(text.substr(from, to - from + 2), u"alpha 9");
        // F3 goes forward all the same, with the window's case.
        SendKey(Item(res::IDC_HISTORY), VK_F3);
        const auto [from2, to2] = Selection();
        EXPECT_EQ(text.substr(from2, to2 - from2 + 2), u"alpha 1") << "wrapped around";
    });
}

TEST_F(Win32FindTest, NothingFoundIsSaidOverTheFindWindow)
{
    Run([&] {
        SendMessageW(Item(res::IDC_HISTORY), EM_SETSEL, 0, 5);
        SendKey(Item(res::IDC_HISTORY), 'F', Mod::Ctrl);
        HWND find = Find();
        ASSERT_TRUE(find);
        SetWindowTextW(GetDlgItem(find, edt1), L"gamma");
        SendMessageW(Item(res::IDC_HISTORY), EM_SETSEL, 3, 8);
        const SystemBox box = BoxOpenedBy(find, [&] { Click(GetDlgItem(find, res::IDOK)); });
        EXPECT_EQ(box.owner, find);
        EXPECT_EQ(box.title, u"検索");
        EXPECT_NE(std::find(box.texts.begin(), box.texts.end(), u"見つかりません"),
                  box.texts.end());
        EXPECT_EQ(Selection(), std::make_pair(DWORD{3}, DWORD{8})) << "the selection stays";
        EXPECT_TRUE(IsWindowEnabled(find)) << "and the find window is usable again";
    });
}

TEST_F(Win32FindTest, TheFindWindowGoesWithTheConsole)
{
    HWND find = nullptr;
    Run([&] {
        SendKey(Item(res::IDC_HISTORY), 'F', Mod::Ctrl);
        find = Find();
        ASSERT_TRUE(find);
    });
    EXPECT_FALSE(IsWindow(find));

    // The next console finds as well: the filter is there for it.
    contract::CPlainHandler next;
    std::unique_ptr<wsys::IWindow> again =
        Win32TestWindowSystem().CreateDialogWindow(res::IDD_WENDREL_DIALOG, next);
    next.wnd = again.get();
    next.onInit = [&] { again->AddFindEntry(res::IDC_HISTORY); };
    d.Run([&] { return again->RunModal(); }, [&] {
        auto& w = *static_cast<CWin32DialogWindow*>(again.get());
        SendKey(GetDlgItem(w.Hwnd(), res::IDC_SEND_TEXT), 'F', Mod::Ctrl);
        EXPECT_TRUE(w.Find() && w.Find()->Window());
    });
}

}  // namespace

namespace {

using FindOverTheConsole = contract_test::WindowContract;

// The find window steps off the row it found, and the history stays where
// the search left it while rows come. (The picture of it is the manual's.)
TEST_F(FindOverTheConsole, TheFindWindowLeavesTheMatchInSight)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(SendMany("row ", 1, 300));
        d.ContextMenu("history", u"時刻を表示(&T)");
        auto& console = *Win32TestWindowSystem().Find(Win32TestWindowSystem().ActiveDialog());
        HWND box = GetDlgItem(console.Hwnd(), res::IDC_HISTORY);
        d.Press("input", contract::Key::CtrlF);
        ASSERT_TRUE(d.FindShown());
        HWND find = console.Find()->Window();

        // Over the rows in view, where the match will be.
        RECT rows;
        GetWindowRect(box, &rows);
        SetWindowPos(find, nullptr, rows.left + 40, rows.top + 40, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(box, WM_VSCROLL, SB_PAGEUP, 0);
        SendMessageW(box, WM_VSCROLL, SB_PAGEUP, 0);
        const int first = static_cast<int>(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0));
        const std::u16string needle = u"row " + contract_test::U(std::to_string(first + 6));
        const std::u16string text = d.Text("history");
        const int top = static_cast<int>(SendMessageW(box, EM_LINEINDEX, first, 0));
        d.Select("history", top, top);
        d.Find(needle, false, true);
        const auto [from, to] = d.Selection("history");
        ASSERT_EQ(text.substr(from, to - from), needle);

        const LRESULT pos = SendMessageW(box, EM_POSFROMCHAR, from, 0);
        POINT at{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
        ClientToScreen(box, &at);
        RECT row{rows.left, at.y, rows.right, at.y + CWin32RowBox::Of(box)->RowHeight()};
        RECT window, overlap;
        GetWindowRect(find, &window);
        EXPECT_FALSE(IntersectRect(&overlap, &window, &row))
            << "the match is not under the find window";

        Push("row 301");
        ASSERT_TRUE(d.WaitUntil(
            [&] { return d.Text("history").find(u"  row 301") != std::u16string::npos; }));
        EXPECT_EQ(contract_test::Selected("history"), needle);
        SaveScreenshot(console.Hwnd(), "win32-find-over-history", find);
    });
}

}  // namespace
