// The window contract: the console's keys, buttons and window menu, its
// status label, and pictures of it for people to look at.
#include "window_contract_fixture.h"

namespace contract_test {

// --- keys, buttons and focus ---

TEST_F(WindowContract, TabOrderFollowsTheTemplate)
{
    RunConsole([&] {
        EXPECT_EQ(d.Focused(), "send");
        // The status label takes no focus.
        const char* order[] = {"send", "quit", "history", "input", "boot", "send"};
        for (std::size_t i = 0; i + 1 < std::size(order); ++i)
            EXPECT_EQ(d.NextInTabOrder(order[i]), order[i + 1]) << order[i];
    });
}

TEST_F(WindowContract, EnterAndBootSendAndKeepTheWindow)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        d.Focus("input");
        d.Type("input", u"abc");
        d.Press("input", Key::Enter);
        ASSERT_TRUE(board->WaitWritten(kPath, 1));
        const hid::test::Report enter = board->Written(kPath).at(0);
        EXPECT_EQ(std::string(enter.begin(), enter.begin() + 5), std::string("\0abc\0", 5));
        EXPECT_EQ(d.Text("input"), u"");

        d.Click("boot");
        ASSERT_TRUE(board->WaitWritten(kPath, 2));
        const hid::test::Report boot = board->Written(kPath).at(1);
        EXPECT_EQ(std::string(boot.begin(), boot.begin() + 6), std::string("\0Boot\0", 6));
        EXPECT_EQ(d.ModalDialogs(), Names{"console"});
    });
}

TEST_F(WindowContract, EscapeCloseBoxAndQuitEndTheRun)
{
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"Escape", [&] { d.Press("input", Key::Escape); }},
        {"close box", [&] { d.CloseBox(); }},
        {"終了", [&] { d.Click("quit"); }},
    };
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name);
        CWendrelDlg one(d.WindowSystem(), board);
        EXPECT_EQ(d.Run([&] { return one.DoModal(); }, way), res::IDCANCEL);
    }
    EXPECT_TRUE(board->Written(kPath).empty());
}

TEST_F(WindowContract, BootWhileDisconnectedSendsNothingAndSaysSo)
{
    RunConsole([&] {
        ASSERT_TRUE(d.WaitUntil([&] { return d.Text("status") == kDisconnected; }));
        d.Focus("input");
        d.Type("input", u"typed");
        d.Click("boot");
        EXPECT_EQ(d.ModalDialogs(), Names{"console"});
        EXPECT_EQ(d.Text("status"), u"送信できませんでした: 未接続");
        EXPECT_EQ(d.Text("input"), u"typed");
    });
    EXPECT_TRUE(board->Written(kPath).empty());
}

TEST_F(WindowContract, WindowMenuEndsWithTheAboutEntryThatOpensTheAboutBox)
{
    bool seen = false;
    RunConsole([&] {
        const std::vector<std::u16string> menu = d.WindowMenu();
        ASSERT_GE(menu.size(), 2u);
        EXPECT_EQ(menu[menu.size() - 2], u"") << "a separator before it";
        EXPECT_EQ(menu.back(), kAbout);

        // The About box runs modally over the console; the console resumes
        // after it.
        d.WhenDialogOpens("about", [&] {
            seen = true;
            EXPECT_EQ(d.ModalDialogs(), (Names{"console", "about"}));
            EXPECT_EQ(d.Title(), u"バージョン情報 Wendrel");
            EXPECT_EQ(d.Text("version"), u"Wendrel, Version 1.5");
            EXPECT_NE(d.Text("copyright"), u"");
            EXPECT_NE(d.Text("authors"), u"");
            EXPECT_TRUE(d.Exists("icon"));
            d.Press("ok", Key::Escape);
        });
        d.ChooseFromWindowMenu(kAbout);
        ASSERT_TRUE(d.WaitUntil([&] { return seen && d.ModalDialogs() == Names{"console"}; }));
    });
    EXPECT_TRUE(seen);
}

// --- the status label ---

// The board is there but this user may not open it: the label names the
// problem, its tooltip explains the fix.
TEST_F(WindowContract, PermissionProblemOnTheStatusLabel)
{
    RunConsole([&] {
        board->SetOpenFails(hid::OpenError::PermissionDenied);
        board->Plug(console_test::Board(kPath));
        ASSERT_TRUE(
            d.WaitUntil([&] { return d.Text("status") == PermissionDeniedStatus(); }));
        EXPECT_EQ(d.ToolTip("status"), PermissionDeniedTip(board->GetAccessFacts()));
        d.Screenshot("permission");

        board->ClearOpenFails();
        ASSERT_TRUE(d.WaitUntil([&] { return d.Text("status") == kConnected; }));
        EXPECT_EQ(d.ToolTip("status"), u"");
    });
}

// --- for people to look at ---

TEST_F(WindowContract, Screenshots)
{
    bool saved = false;
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        const std::u16string lines[] = {
            u"Hello", u"こんにちは (konnichiwa)", u"ADC0=0512\tADC1=1023", u"温度 23.5℃ 正常",
            u"<b>not bold</b>",
        };
        for (int i = 0; i < 20; ++i)
            Push(Cp932(lines[i % 5] + u" #" + U(std::to_string(i + 1)) + u"\r\n"));
        ASSERT_TRUE(d.WaitUntil([&] {
            const std::u16string last = LastRow(d.Text("history"));
            return last.size() >= 3 && last.substr(last.size() - 3) == u"#20";
        }));
        d.Focus("input");
        d.Type("input", u"送信するテキスト abc");
        d.Screenshot("console");

        d.WhenDialogOpens("about", [&] {
            d.Screenshot("about");
            saved = true;
            d.Click("ok");
        });
        d.ChooseFromWindowMenu(kAbout);
        ASSERT_TRUE(d.WaitUntil([&] { return saved && d.ModalDialogs() == Names{"console"}; }));
    });
    EXPECT_TRUE(saved);
}

}  // namespace contract_test
