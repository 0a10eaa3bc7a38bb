// The status label on screen, in every state it shows: after each change,
// what the screen shows of it is what a whole repaint gives, and its text
// fits on one line. A label that took its text at the template's width
// painted it wrapped, and its widening repainted only the new strip.
#include "win32_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console_texts.h"
#include "resources.h"
#include "win32_driver.h"
#include "window_contract_fixture.h"

namespace {

using namespace contract_test;

HWND Label(int id)
{
    const auto& windows = Win32TestWindowSystem().windows;
    return windows.empty() ? nullptr : GetDlgItem(windows.front()->Hwnd(), id);
}

std::vector<std::uint32_t> LabelPixels(HWND label)
{
    RECT r;
    GetWindowRect(label, &r);
    return ScreenPixels(r);
}

int TextWidth(HWND label, const std::u16string& text)
{
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.c_str()),
                          static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    return size.cx;
}

TEST_F(WindowContract, StatusLabelShowsItsWholeTextInEveryState)
{
    const struct {
        const char* name;
        std::function<void()> change;
        std::u16string status;
    } states[] = {
        {"connected", [&] { board->Plug(console_test::Board(kPath)); }, kConnected},
        {"unplugged", [&] { board->Unplug(kPath); }, kDisconnected},
        {"not_permitted",
         [&] {
             board->SetOpenFails(hid::OpenError::PermissionDenied);
             board->Plug(console_test::Board(kPath));
         },
         PermissionDeniedStatus()},
        {"held",
         [&] { board->SetOpenFails(hid::OpenError::HeldByOther); },
         std::u16string(texts::kHeldByOther)},
        {"connected_again", [&] { board->ClearOpenFails(); }, kConnected},
    };
    RunConsole([&] {
        HWND label = Label(res::IDC_STATUS);
        ASSERT_TRUE(label);
        ASSERT_TRUE(d.WaitUntil([&] { return d.Text("status") == kDisconnected; }));
        for (const auto& s : states) {
            s.change();
            ASSERT_TRUE(d.WaitUntil([&] { return d.Text("status") == s.status; })) << s.name;
            // The label as the user sees it after the change: every paint
            // the change asked for has run.
            for (int i = 0; i < 5; ++i) {
                d.ProcessEvents();
                Sleep(20);
            }
            const std::vector<std::uint32_t> shown = LabelPixels(label);
            RedrawWindow(label, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            d.ProcessEvents();
            const std::vector<std::uint32_t> whole = LabelPixels(label);
            EXPECT_TRUE(shown == whole) << s.name << ": the label differs from its whole repaint";
            RECT client;
            GetClientRect(label, &client);
            EXPECT_GE(client.right, TextWidth(label, s.status)) << s.name << ": text cut or wrapped";
            d.Screenshot((std::string("status_") + s.name).c_str());
        }
    });
}

}  // namespace
