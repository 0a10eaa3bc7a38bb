// The fixture of the console's tests: the console on a fake window and a
// fake board, run modally with a script as the user, and the boards and
// reports the scripts use.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "console_board.h"
#include "counting_dlg.h"
#include "fake_platform.h"
#include "fake_window.h"
#include "resources.h"
#include "wendrel_dlg.h"

namespace console_test {

using fake::FakeWindow;
using fake::FakeWindowSystem;
using hid::test::FakeBoard;
using hid::test::FakePlatform;

// The board's code page comes from the locale (on Windows, from the ANSI
// code page Wine derives from it): ctest pins it to Japanese (932) whatever
// the machine's locale, see CMakeLists.txt.

inline const std::u16string kPathA = u"/dev/hidraw0";
inline const std::u16string kPathB = u"/dev/hidraw7";
using console_test::Board;
using console_test::InputReport;
inline const std::u16string& kNone = kDisconnected;

template <typename Pred>
inline bool WaitFor(Pred pred, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}


inline std::u16string Number(long long n)
{
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

inline std::u16string LastRow(const std::u16string& text)
{
    const std::size_t at = text.rfind(u"\r\n");
    return at == std::u16string::npos ? text : text.substr(at + 2);
}

class ConsoleTest : public ::testing::Test {
protected:
    std::shared_ptr<FakePlatform> board = std::make_shared<FakePlatform>();
    FakeWindowSystem ws;
    std::unique_ptr<CountingDlg> dlg = std::make_unique<CountingDlg>(ws, board);

    // Runs the console modally with `script` as the user. Each tick settles:
    // the scans and opens it started have come back. Nothing that can
    // block in the kernel may run on this, the user-interface thread.
    void Run(std::function<void(FakeWindow&)> script)
    {
        board->ForbidBlockingCallsOn(std::this_thread::get_id());
        ws.script[res::IDD_WENDREL_DIALOG] = [this, script = std::move(script)](FakeWindow& w) {
            w.settle = [this] { ASSERT_TRUE(dlg->Device().WaitIdle()); };
            script(w);
        };
        dlg->DoModal();
        EXPECT_EQ(board->BlockingCallsOnForbiddenThread(), 0);
    }

    int OpenHandlesOnceClosed()
    {
        dlg->Device().WaitIdle();
        return board->OpenHandles();
    }
};

}  // namespace console_test
