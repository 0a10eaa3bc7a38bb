// What the window contract's cases share: the console on a fake board,
// a plain window, and helpers for the rows and texts they look at.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "codepage.h"
#include "console_board.h"
#include "counting_dlg.h"
#include "fake_platform.h"
#include "resources.h"
#include "utf16.h"
#include "wendrel_dlg.h"
#include "window_contract.h"

namespace contract_test {

using console_test::InputReport;
using console_test::kConnected;
using console_test::kDisconnected;
using contract::Driver;
using contract::Key;
using hid::test::FakePlatform;
using Names = std::vector<std::string>;

inline const std::u16string kPath = u"/dev/hidraw0";
inline const std::u16string kAbout = u"バージョン情報 Wendrel(&A)...";
inline const std::u16string kCopyAll = u"受信履歴をすべてコピー(&H)";
inline const std::u16string kShowTimes = u"時刻を表示(&T)";
inline const std::u16string kFind = u"検索(&F)...";
inline const std::u16string kClear = u"履歴を消去(&L)";
inline const std::u16string kSaveAs = u"名前を付けて保存(&S)...";

inline std::u16string U(const std::string& ascii) { return text::Widen(ascii); }

// Text as a board on a Japanese Windows PC sends it.
inline std::string Cp932(const std::u16string& text)
{
    std::uint8_t bytes[256];
    const std::size_t n = hid::EncodeText(text, bytes, sizeof bytes, "CP932");
    return std::string(reinterpret_cast<const char*>(bytes), n);
}

// "<prefix><first>\r\n...\r\n<prefix><last>"
inline std::u16string Rows(const std::u16string& prefix, int first, int last)
{
    std::u16string text;
    for (int i = first; i <= last; ++i)
        text += (i > first ? u"\r\n" : u"") + prefix + U(std::to_string(i));
    return text;
}

inline std::vector<std::u16string> RowList(const std::u16string& prefix, int first, int last)
{
    std::vector<std::u16string> rows;
    for (int i = first; i <= last; ++i)
        rows.push_back(prefix + U(std::to_string(i)));
    return rows;
}

inline std::u16string LastRow(const std::u16string& text)
{
    const std::size_t at = text.rfind(u"\r\n");
    return at == std::u16string::npos ? text : text.substr(at + 2);
}

inline std::u16string Unix(std::u16string text)
{
    for (std::size_t at; (at = text.find(u"\r\n")) != std::u16string::npos;)
        text.erase(at, 1);
    return text;
}

// The user-interface thread kept busy, as a busy event loop would.
template <typename Pred>
bool WaitWithoutEvents(Pred done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline std::u16string Selected(const char* control)
{
    const auto [from, to] = Driver().Selection(control);
    return Driver().Text(control).substr(from, to - from);
}

class WindowContract : public ::testing::Test {
protected:
    contract::CDriver& d = Driver();
    std::shared_ptr<FakePlatform> board = std::make_shared<FakePlatform>();
    std::unique_ptr<CountingDlg> dlg = std::make_unique<CountingDlg>(d.WindowSystem(), board);

    void TearDown() override
    {
        dlg.reset();
        EXPECT_EQ(board->OpenHandles(), 0);
    }

    int m_nPushed = 0;

    int RunConsole(const std::function<void()>& user)
    {
        return d.Run([this] { return dlg->DoModal(); }, user);
    }
    bool Connect()
    {
        board->Plug(console_test::Board(kPath));
        return d.WaitUntil([&] { return d.Text("status") == kConnected; });
    }
    void Push(const std::string& bytes)
    {
        board->PushInput(kPath, InputReport(bytes));
        ++m_nPushed;
    }
    // The board sends "<prefix><first>" to "<prefix><last>"; true once the
    // box shows the last.
    bool Send(const std::string& prefix, int first, int last)
    {
        for (int i = first; i <= last; ++i)
            Push(prefix + std::to_string(i));
        return Shows(U(prefix + std::to_string(last)));
    }
    // Many reports, in batches the board's queue holds.
    void PushInBatches(const std::string& bytes)
    {
        Push(bytes);
        if (m_nPushed % 50 == 0 && !WaitWithoutEvents([&] { return dlg->received == m_nPushed; }))
            ADD_FAILURE() << "the console took " << dlg->received << " of " << m_nPushed;
    }
    bool SendMany(const std::string& prefix, int first, int last)
    {
        for (int i = first; i <= last; ++i)
            PushInBatches(prefix + std::to_string(i));
        return Shows(U(prefix + std::to_string(last)));
    }
    bool Shows(const std::u16string& lastRow)
    {
        if (d.WaitUntil([&] { return LastRow(d.Text("history")) == lastRow; }))
            return true;
        ADD_FAILURE() << "the box shows " << ::testing::PrintToString(d.Text("history"));
        return false;
    }
};

// A table of console cases, each named by its `name`.
template <typename Case>
class ConsoleTable : public WindowContract, public ::testing::WithParamInterface<Case> {};

template <typename Case>
inline std::string CaseName(const ::testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

template <typename Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

// The window layer's own promises, on a plain window.
class PlainWindow : public ::testing::Test {
protected:
    contract::CDriver& d = Driver();
    contract::CPlainHandler handler;
    std::unique_ptr<wsys::IWindow> wnd;

    void SetUp() override
    {
        wnd = d.WindowSystem().CreateDialogWindow(res::IDD_WENDREL_DIALOG, handler);
        ASSERT_TRUE(wnd);
        handler.wnd = wnd.get();
    }
    int Run(const std::function<void()>& user)
    {
        return d.Run([this] { return wnd->RunModal(); }, user);
    }
};

}  // namespace contract_test
