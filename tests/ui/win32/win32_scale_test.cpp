// The dialog font and the monitor's scale on the Windows dialog manager,
// under Wine: the face a dialog is built in where the template's is
// missing, the layout at the scale the prefix is set to, and the layout
// after a move to a monitor of another scale. The run script says what
// its prefix has (WENDREL_EXPECT_DIALOG_FACE, WENDREL_EXPECT_DPI); the
// layout expected is computed here from the face, the size and the scale
// alone, as the dialog manager lays a template out.
#include "win32_api.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "label_fit.h"
#include "resources.h"
#include "win32_dialog_font.h"
#include "win32_dialog_window.h"
#include "win32_dpi.h"
#include "win32_driver.h"
#include "window_contract.h"

namespace {

using contract::CPlainHandler;

std::u16string Str(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }
const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }


std::string Utf8(const std::u16string& s)
{
    char out[256] = {};
    WideCharToMultiByte(CP_UTF8, 0, W(s), -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

// --- the choice of face, on its own ---

struct FaceCase {
    const char* name;
    std::vector<std::u16string> installed;
    std::u16string messageFace;
    std::u16string chosen;
};

class DialogFace : public testing::TestWithParam<FaceCase> {};

TEST_P(DialogFace, FirstThatExists)
{
    const FaceCase& c = GetParam();
    auto exists = [&](const std::u16string& face) {
        for (const auto& f : c.installed)
            if (f == face)
                return true;
        return false;
    };
    EXPECT_EQ(win32::PickDialogFace(u"MS UI Gothic", c.messageFace, exists), c.chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DialogFace,
    testing::Values(
        FaceCase{"Template", {u"MS UI Gothic", u"Yu Gothic UI"}, u"Segoe UI", u"MS UI Gothic"},
        FaceCase{"YuGothicUi", {u"Yu Gothic UI", u"Segoe UI"}, u"Segoe UI", u"Yu Gothic UI"},
        FaceCase{"MessageFont", {u"Segoe UI"}, u"Segoe UI", u"Segoe UI"},
        // The message font is taken even where the mapper stands in for it.
        FaceCase{"MessageFontMissing", {}, u"MS Shell Dlg", u"MS Shell Dlg"},
        FaceCase{"NoMessageFont", {}, u"", u"MS UI Gothic"}),
    [](const auto& info) { return info.param.name; });

// --- the layout, as the dialog manager makes it ---

struct Units {
    int x = 0, y = 0;
};

HFONT MakeFont(const std::u16string& face, int pointSize, UINT dpi)
{
    return CreateFontW(-MulDiv(pointSize, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE,
                       FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, W(face));
}

// Runs fn(dc) with `font` selected.
template <typename Fn>
auto WithFont(HFONT font, Fn fn)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    auto r = fn(dc);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return r;
}

// The average width of the 52 letters and the character height.
Units UnitsOf(HFONT font)
{
    return WithFont(font, [](HDC dc) {
        SIZE size{};
        GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &size);
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        return Units{(size.cx / 26 + 1) / 2, static_cast<int>(tm.tmHeight)};
    });
}

std::u16string FaceUsed(HFONT font)
{
    return WithFont(font, [](HDC dc) {
        wchar_t face[LF_FACESIZE] = {};
        GetTextFaceW(dc, LF_FACESIZE, face);
        return Str(face);
    });
}

LOGFONTW LogFont(HWND h)
{
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

int IconWidth(HICON icon)
{
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info))
        return 0;
    BITMAP bm{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

// Every control of `t` at its template rectangle in the units of the
// dialog's face at `dpi`: the dialog's client area, the controls (each
// position and size converted on its own), a named label at least as
// wide as its text wherever the dialog leaves room, an icon at the icon
// size of that scale; every control in the dialog's font.
void ExpectLayout(HWND dlg, const res::DialogTemplate& t, UINT dpi)
{
    SCOPED_TRACE(testing::Message() << t.name << " at " << dpi << " dpi");
    const LOGFONTW lf = LogFont(dlg);
    EXPECT_EQ(lf.lfHeight, -MulDiv(t.pointSize, static_cast<int>(dpi), 72));
    HFONT font = MakeFont(Str(lf.lfFaceName), t.pointSize, dpi);
    const Units u = UnitsOf(font);
    auto px = [](int dlu, int unit, int per) { return MulDiv(dlu, unit, per); };

    RECT client;
    GetClientRect(dlg, &client);
    EXPECT_EQ(Tie(client), Tie(RECT{0, 0, px(t.cx, u.x, 4), px(t.cy, u.y, 8)}));

    HWND child = GetWindow(dlg, GW_CHILD);
    for (const res::ControlTemplate& c : t.controls) {
        SCOPED_TRACE(c.name);
        if (child && !(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE))
            child = GetWindow(child, GW_HWNDNEXT);  // the label naming an edit control
        ASSERT_TRUE(child);
        const RECT got = ChildRect(dlg, child);
        RECT want{px(c.x, u.x, 4), px(c.y, u.y, 8), 0, 0};
        want.right = want.left + px(c.cx, u.x, 4);
        want.bottom = want.top + px(c.cy, u.y, 8);
        if (c.kind == res::ControlKind::Icon) {
            const int size = win32::MetricForDpi(SM_CXICON, dpi);
            want.right = want.left + size;
            want.bottom = want.top + win32::MetricForDpi(SM_CYICON, dpi);
            EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0))),
                      size);
        } else if (c.kind == res::ControlKind::Static && c.id != res::IDC_STATIC) {
            const std::u16string text = WindowText(child);
            const int textWidth = WithFont(font, [&](HDC dc) {
                SIZE s{};
                GetTextExtentPoint32W(dc, W(text), static_cast<int>(text.size()), &s);
                return static_cast<int>(s.cx);
            });
            want.right = want.left + wsys::FittedLabelWidth(want.right - want.left, textWidth,
                                                            want.left, client.right);
        }
        EXPECT_EQ(Tie(got), Tie(want));
        const LOGFONTW clf = LogFont(child);
        if (c.kind != res::ControlKind::Icon) {
            EXPECT_EQ(clf.lfHeight, lf.lfHeight);
            EXPECT_EQ(Str(clf.lfFaceName), Str(lf.lfFaceName));
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    DeleteObject(font);
}

// What the run script says of its prefix.
std::u16string ExpectedFace(const res::DialogTemplate& t)
{
    const char* want = std::getenv("WENDREL_EXPECT_DIALOG_FACE");
    if (!want || !*want)
        return t.fontFace;
    if (std::string(want) == "message-font") {
        NONCLIENTMETRICSW ncm{};
        ncm.cbSize = sizeof ncm;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
        return Str(ncm.lfMessageFont.lfFaceName);
    }
    std::u16string face;
    for (const char* p = want; *p; ++p)
        face += static_cast<char16_t>(*p);
    return face;
}

UINT ExpectedDpi()
{
    const char* want = std::getenv("WENDREL_EXPECT_DPI");
    return want && *want ? static_cast<UINT>(std::atoi(want)) : win32::kDefaultDpi;
}

class Win32Scale : public ::testing::Test {
protected:
    CTestWindowSystem& m_ws = Win32TestWindowSystem();

    // Runs `check` on dialog `id` while it is up, with icons, an
    // explanation, a status and rows to scroll, as the console gives them.
    void WithDialog(int id, const std::function<void(CWin32DialogWindow&)>& check)
    {
        CPlainHandler h;
        auto wnd = m_ws.CreateDialogWindow(id, h);
        h.wnd = wnd.get();
        auto& w = static_cast<CWin32DialogWindow&>(*wnd);
        h.onInit = [&] {
            const wsys::IconHandle icon = m_ws.LoadIcon(res::IDR_MAINFRAME);
            w.SetIcon(icon, true);
            w.SetIcon(icon, false);
            if (id != res::IDD_WENDREL_DIALOG)
                return;
            w.SetItemText(res::IDC_STATUS, u"接続しました: 長い状態の行がラベルの幅を越える");
            w.SetItemToolTip(res::IDC_STATUS, u"説明");
            wsys::RowChange rows;
            for (int i = 0; i < 40; ++i)
                rows.added.push_back(u"行 " + std::u16string(1, u'A' + i % 26));
            rows.replace = true;
            w.UpdateRows(res::IDC_HISTORY, rows);
        };
        contract::CDriver& d = contract::Driver();
        d.Run([&] { return wnd->RunModal(); }, [&] {
            check(w);
            w.EndDialog(1);
        });
    }
};

// Each window icon, the tooltip's width and the history's newest row at
// the dialog's scale.
void ExpectFollowers(CWin32DialogWindow& w, UINT dpi)
{
    HWND dlg = w.Hwnd();
    EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(SendMessageW(dlg, WM_GETICON, ICON_BIG, 0))),
              win32::MetricForDpi(SM_CXICON, dpi));
    EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(SendMessageW(dlg, WM_GETICON, ICON_SMALL, 0))),
              win32::MetricForDpi(SM_CXSMICON, dpi));
    EXPECT_EQ(w.SystemIconSize().cx, win32::MetricForDpi(SM_CXICON, dpi));
    if (w.Template().id != res::IDD_WENDREL_DIALOG)
        return;
    const Units u = UnitsOf(reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0)));
    HWND tip = nullptr;
    while ((tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) &&
           GetWindow(tip, GW_OWNER) != dlg) {
    }
    ASSERT_TRUE(tip);
    EXPECT_EQ(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), MulDiv(200, u.x, 4));
    const contract::RowsInSight shown = contract::Driver().RowsShown("history");
    EXPECT_EQ(shown.last, 39) << "the newest row in sight";
    EXPECT_GT(shown.first, 0);
}

TEST_F(Win32Scale, DialogsAreBuiltInAFaceThatExists)
{
    for (int id : {res::IDD_WENDREL_DIALOG, res::IDD_ABOUTBOX}) {
        const res::DialogTemplate& t = *res::FindDialogTemplate(id);
        const std::u16string want = ExpectedFace(t);
        WithDialog(id, [&](CWin32DialogWindow& w) {
            HWND dlg = w.Hwnd();
            HFONT font = reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0));
            const std::u16string used = FaceUsed(font);
            std::printf("%s: template face %s, built in %s, drawn in %s\n", t.name,
                        Utf8(t.fontFace).c_str(), Utf8(w.Face()).c_str(), Utf8(used).c_str());
            EXPECT_EQ(w.Face(), want);
            EXPECT_EQ(Str(LogFont(dlg).lfFaceName), want) << "the template carries the face";
            if (want != t.fontFace) {
                EXPECT_FALSE(win32::FaceExists(t.fontFace)) << "the prefix lacks it";
            }
            if (want != t.fontFace && want != win32::kFallbackFace) {
                EXPECT_FALSE(win32::FaceExists(win32::kFallbackFace)) << "the prefix lacks it";
            }
            // The face drawn is the one the mapper gives for the chosen
            // face: the layout below is measured from it.
            HFONT same = MakeFont(want, t.pointSize, win32::SystemDpi());
            EXPECT_EQ(used, FaceUsed(same));
            DeleteObject(same);
            ExpectLayout(dlg, t, win32::SystemDpi());
        });
    }
}

TEST_F(Win32Scale, StartsAtTheScaleOfTheScreen)
{
    const UINT dpi = ExpectedDpi();
    ASSERT_EQ(win32::SystemDpi(), dpi) << "the prefix's LogPixels";
    for (int id : {res::IDD_WENDREL_DIALOG, res::IDD_ABOUTBOX}) {
        WithDialog(id, [&](CWin32DialogWindow& w) {
            EXPECT_EQ(w.Dpi(), dpi);
            RECT r;
            GetWindowRect(w.Hwnd(), &r);
            std::printf("%s at %u dpi: %ld x %ld pixels\n", w.Template().name, dpi,
                        r.right - r.left, r.bottom - r.top);
            std::string shot = "win32-" + std::string(w.Template().name) + "-" +
                               std::to_string(dpi) + "dpi-" + Utf8(w.Face());
            for (char& c : shot)
                if (c == ' ')
                    c = '-';
            SaveScreenshot(w.Hwnd(), shot.c_str());
            ExpectLayout(w.Hwnd(), w.Template(), dpi);
            ExpectFollowers(w, dpi);
        });
    }
}

TEST_F(Win32Scale, FollowsAMoveToAMonitorOfAnotherScale)
{
    const UINT start = win32::SystemDpi();
    for (int id : {res::IDD_WENDREL_DIALOG, res::IDD_ABOUTBOX}) {
        WithDialog(id, [&](CWin32DialogWindow& w) {
            HWND dlg = w.Hwnd();
            std::map<HWND, RECT> before;
            for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                before[c] = ChildRect(dlg, c);
            RECT startRect;
            GetWindowRect(dlg, &startRect);

            // Larger and back, smaller and back: as Windows moves a window
            // between monitors.
            const UINT other = start == 96 ? 144 : 96;
            for (UINT dpi : {other, start, UINT(start * 5 / 4), start}) {
                SCOPED_TRACE(dpi);
                SIZE size{};
                ASSERT_TRUE(SendMessageW(dlg, WM_GETDPISCALEDSIZE, dpi,
                                         reinterpret_cast<LPARAM>(&size)));
                RECT now;
                GetWindowRect(dlg, &now);
                const RECT suggested{now.left, now.top, now.left + size.cx, now.top + size.cy};
                SendMessageW(dlg, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                             reinterpret_cast<LPARAM>(&suggested));
                // Where Windows suggests; in that size wherever the frame
                // follows the scale (Wine's does not).
                RECT got;
                GetWindowRect(dlg, &got);
                EXPECT_EQ(got.left, suggested.left);
                EXPECT_EQ(got.top, suggested.top);
                EXPECT_EQ(w.Dpi(), dpi);
                ExpectLayout(dlg, w.Template(), dpi);
                ExpectFollowers(w, dpi);
                if (dpi == other)
                    SaveScreenshot(dlg, ("win32-" + std::string(w.Template().name) + "-from-" +
                                         std::to_string(start) + "-to-" + std::to_string(dpi) +
                                         "dpi").c_str());
            }
            RECT endRect;
            GetWindowRect(dlg, &endRect);
            EXPECT_EQ(endRect.right - endRect.left, startRect.right - startRect.left);
            EXPECT_EQ(endRect.bottom - endRect.top, startRect.bottom - startRect.top);
            for (const auto& [c, r] : before)
                EXPECT_EQ(Tie(ChildRect(dlg, c)), Tie(r)) << "back where it was";
        });
    }
}

}  // namespace
