// What is the Windows history box's own: the edit control's text limit,
// the scroll bar it would show always, an update drawn once and only where
// something changed, and the keys and the wheel as the system sends them.
#include "win32_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resources.h"
#include "row_change.h"
#include "win32_dialog_template.h"
#include "win32_dialog_window.h"
#include "win32_driver.h"
#include "win32_row_box.h"
#include "window_contract.h"

namespace {

using wsys::RowChange;

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::vector<std::u16string> Numbered(const std::u16string& prefix, int first, int last)
{
    std::vector<std::u16string> rows;
    for (int i = first; i <= last; ++i)
        rows.push_back(prefix + U(std::to_string(i)));
    return rows;
}

// What the screen shows of a window, as it is.
std::vector<std::uint32_t> Pixels(HWND h)
{
    RECT r;
    GetWindowRect(h, &r);
    return ScreenPixels(r);
}

class Win32RowBoxTest : public ::testing::Test {
protected:
    contract::CDriver& d = contract::Driver();
    contract::CPlainHandler handler;
    std::unique_ptr<wsys::IWindow> wnd;
    std::vector<int> commands;

    void SetUp() override
    {
        wnd = Win32TestWindowSystem().CreateDialogWindow(res::IDD_WENDREL_DIALOG, handler);
        ASSERT_TRUE(wnd);
        handler.wnd = wnd.get();
    }
    void Run(const std::function<void()>& user)
    {
        d.Run([this] { return wnd->RunModal(); }, user);
    }
    HWND Dialog() const { return static_cast<CWin32DialogWindow*>(wnd.get())->Hwnd(); }
    HWND Box() const { return GetDlgItem(Dialog(), res::IDC_HISTORY); }
    CWin32RowBox& Rows() const { return *CWin32RowBox::Of(Box()); }
    int First() const
    {
        return static_cast<int>(SendMessageW(Box(), EM_GETFIRSTVISIBLELINE, 0, 0));
    }
    bool ScrollBar() const { return GetWindowLongW(Box(), GWL_STYLE) & WS_VSCROLL; }
    void Show(const RowChange& change) { wnd->UpdateRows(res::IDC_HISTORY, change); }
};

// 1000 rows of 64 units with their times are 80,000 units: past the 30,000
// an edit control takes at first, and past 64 KiB.
TEST_F(Win32RowBoxTest, HoldsAThousandLongRowsWithTheirTimes)
{
    Run([&] {
        auto row = [](int i) {
            std::u16string text = u"12:34:56.789  " + U(std::to_string(i)) + u" ";
            while (text.size() < 14 + 62)
                text += u'あ';
            return text + u"\U0001F600";  // 64 units after the time
        };
        std::vector<std::u16string> rows;
        for (int i = 1; i <= 1000; ++i)
            rows.push_back(row(i));
        Show(RowChange{true, 0, rows});
        std::u16string expected = wsys::JoinRows(rows, u"\r\n");
        ASSERT_EQ(expected.size(), 79998u);
        EXPECT_EQ(TextOf(Box()), expected);

        // In place: the oldest go, as many come, every unit kept.
        std::vector<std::u16string> more;
        for (int i = 1001; i <= 1010; ++i)
            more.push_back(row(i));
        Show(RowChange{false, 10, more});
        rows.erase(rows.begin(), rows.begin() + 10);
        rows.insert(rows.end(), more.begin(), more.end());
        EXPECT_EQ(TextOf(Box()), wsys::JoinRows(rows, u"\r\n"));
        EXPECT_EQ(SendMessageW(Box(), EM_GETLINECOUNT, 0, 0), 1000);
    });
}

TEST_F(Win32RowBoxTest, ScrollBarOnlyWhileTheRowsOutnumberTheView)
{
    // The template asks for it (an edit control scrolls only so), and for
    // the selection shown without the focus; the box shows the scroll bar
    // when it is of use.
    constexpr unsigned long kScrolls = WS_VSCROLL | ES_AUTOVSCROLL | ES_NOHIDESEL;
    for (const res::ControlTemplate& c : res::FindDialogTemplate(res::IDD_WENDREL_DIALOG)->controls) {
        if (c.id == res::IDC_HISTORY) {
            EXPECT_EQ(win32::MapControlStyle(c).style & kScrolls, kScrolls);
        }
    }
    Run([&] {
        const int fit = Rows().RowsInView();
        EXPECT_EQ(fit, 18);
        EXPECT_FALSE(ScrollBar()) << "empty";
        Show(RowChange{true, 0, Numbered(u"row ", 1, fit)});
        EXPECT_FALSE(ScrollBar()) << "as many rows as fit";
        Show(RowChange{false, 0, {u"one more"}});
        EXPECT_TRUE(ScrollBar());
        Show(RowChange{false, 1, {u"and another"}});
        EXPECT_TRUE(ScrollBar()) << "still one more than fit";
        Show(RowChange{true, 0, {}});
        EXPECT_FALSE(ScrollBar()) << "cleared";
        d.Screenshot("history-cleared", "history");
    });
}

// An update draws what shows for the first time: scrolled up, rows that
// come below the view and go above it draw nothing but the scroll bar;
// following, the rows still in view move up and only the new ones are
// drawn. With the focus (and so the caret) in the box, all of it is.
TEST_F(Win32RowBoxTest, AnUpdateDrawsWhatShowsAnew)
{
    Run([&] {
        SetFocus(GetDlgItem(Dialog(), res::IDC_SEND_TEXT));
        Show(RowChange{true, 0, Numbered(u"row ", 1, 100)});
        d.ProcessEvents();
        RECT fmt{}, client{};
        SendMessageW(Box(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&fmt));
        GetClientRect(Box(), &client);
        const int height = Rows().RowHeight();
        // The part of the box to be drawn, from its top; nothing: -1.
        auto drawnFrom = [&] {
            RECT r{};
            return GetUpdateRect(Box(), &r, FALSE) ? static_cast<int>(r.top) : -1;
        };
        ASSERT_EQ(drawnFrom(), -1);

        Show(RowChange{false, 2, Numbered(u"row ", 101, 102)});
        EXPECT_EQ(drawnFrom(), fmt.top + (Rows().RowsInView() - 2) * height)
            << "following: two new rows (and the partly shown one)";
        d.ProcessEvents();
        const std::vector<std::uint32_t> moved = Pixels(Box());
        RedrawWindow(Box(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        EXPECT_TRUE(moved == Pixels(Box())) << "the rows moved look as the rows drawn anew";

        SendMessageW(Box(), WM_VSCROLL, SB_PAGEUP, 0);
        d.ProcessEvents();
        const int first = First();
        Show(RowChange{false, 5, Numbered(u"row ", 103, 107)});
        EXPECT_EQ(drawnFrom(), -1) << "scrolled up: the same rows in the same place";
        EXPECT_EQ(First(), first - 5);
        d.ProcessEvents();

        // An update before the last was drawn is drawn whole.
        InvalidateRect(Box(), nullptr, TRUE);
        Show(RowChange{false, 5, Numbered(u"row ", 108, 112)});
        EXPECT_EQ(drawnFrom(), client.top);
        d.ProcessEvents();

        SendMessageW(Box(), WM_VSCROLL, SB_BOTTOM, 0);
        SetFocus(Box());
        d.ProcessEvents();
        Show(RowChange{false, 1, Numbered(u"row ", 113, 113)});
        EXPECT_EQ(drawnFrom(), client.top) << "the caret in the picture";
    });
}

// The edit control's keys for its caret, with Shift; the right button,
// the menu key and Shift+F10 open the box's own menu; the wheel over the
// box scrolls it, wherever the focus is.
TEST_F(Win32RowBoxTest, KeysMouseAndWheelAsTheSystemSendsThem)
{
    handler.onInit = [&] {
        wnd->AddContextCommand(res::IDC_HISTORY, res::IDM_CLEAR_HISTORY, u"消去", false);
    };
    Run([&] {
        Show(RowChange{true, 0, Numbered(u"row ", 1, 60)});
        SetFocus(Box());
        SendMessageW(Box(), EM_SETSEL, 0, 0);
        SendKey(Box(), VK_DOWN, Mod::Shift);
        DWORD from = 1, to = 0;
        SendMessageW(Box(), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                     reinterpret_cast<LPARAM>(&to));
        EXPECT_EQ(from, 0u);
        EXPECT_EQ(to, 7u) << "Shift+Down selects \"row 1\\r\\n\"";

        const std::function<void()> opens[] = {
            [&] {
                PostMessageW(Box(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
                PostMessageW(Box(), WM_RBUTTONUP, 0, MAKELPARAM(20, 20));
            },
            [&] { SendKey(Box(), VK_APPS); },
            [&] { SendKey(Box(), VK_F10, Mod::Shift | Mod::Sys); },
        };
        for (const auto& open : opens) {
            const std::vector<std::u16string> entries = Win32MenuOpenedBy(open);
            ASSERT_FALSE(entries.empty()) << "way " << (&open - opens);
            EXPECT_EQ(entries.front(), u"コピー(&C)");
            EXPECT_EQ(entries.back(), u"消去");
        }

        SendKey(Box(), VK_END, Mod::Ctrl);
        ASSERT_TRUE(Rows().Follows());
        SetFocus(GetDlgItem(Dialog(), res::IDC_SEND_TEXT));
        const int bottom = First();
        RECT r;
        GetWindowRect(Box(), &r);
        const POINT over{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        SendMessageW(GetFocus(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA),
                     MAKELPARAM(over.x, over.y));
        EXPECT_LT(First(), bottom) << "one notch up";
        EXPECT_FALSE(Rows().Follows());
    });
}

}  // namespace
