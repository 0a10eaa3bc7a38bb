// Received lines on their way to the history box: one display update for
// a burst, then one a frame while they stream in; kept over an unplug.
#include <gtest/gtest.h>

#include <string>

#include "console_fixture.h"

using namespace console_test;

namespace {

// --- received lines ---

TEST_F(ConsoleTest, BurstOfReportsCostsOneDisplayUpdate)
{
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        w.Tick();
        const int posted = w.posted;
        for (int i = 1; i <= 50; ++i)
            board->PushInput(kPathA, InputReport("L" + std::to_string(i)));
        ASSERT_TRUE(WaitFor([&] { return dlg->received == 50; }));

        // The user-interface thread was busy all along: one request waits.
        EXPECT_EQ(w.posted - posted, 1);
        EXPECT_EQ(w.DrainPosts(), 1);
        EXPECT_EQ(w.Sets(res::IDC_HISTORY), 1);
        std::u16string expected;
        for (int i = 1; i <= 50; ++i)
            expected += u"L" + Number(i) + (i < 50 ? u"\r\n" : u"");
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), expected);

        // Until a frame passes with nothing new, later reports wait for the
        // frame timer instead of asking.
        ASSERT_TRUE(w.TimerRuns(res::IDT_FRAME));
        EXPECT_EQ(w.timers[res::IDT_FRAME], 16);
        board->PushInput(kPathA, InputReport("in frame"));
        ASSERT_TRUE(WaitFor([&] { return dlg->received == 51; }));
        EXPECT_EQ(w.posted - posted, 1);
        w.TickTimer(res::IDT_FRAME);
        EXPECT_EQ(w.Sets(res::IDC_HISTORY), 2);
        EXPECT_EQ(LastRow(w.GetItemText(res::IDC_HISTORY)), u"in frame");
        w.TickTimer(res::IDT_FRAME);
        EXPECT_FALSE(w.TimerRuns(res::IDT_FRAME));
        EXPECT_EQ(w.Sets(res::IDC_HISTORY), 2);
        EXPECT_TRUE(w.TimerRuns(res::IDT_POLL)) << "the poll timer is another one";

        // Quiet again: the next report asks at once.
        board->PushInput(kPathA, InputReport("next"));
        ASSERT_TRUE(WaitFor([&] { return dlg->received == 52; }));
        EXPECT_EQ(w.DrainPosts(), 1);
        EXPECT_EQ(w.Sets(res::IDC_HISTORY), 3);
        EXPECT_EQ(LastRow(w.GetItemText(res::IDC_HISTORY)), u"next");
    });
}

TEST_F(ConsoleTest, UnplugKeepsTheHistory)
{
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        w.Tick();
        board->PushInput(kPathA, InputReport("Hello"));
        ASSERT_TRUE(WaitFor([&] { return dlg->received == 1; }));
        w.DrainPosts();
        board->Unplug(kPathA);
        w.Tick();
        w.DrainPosts();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kNone);
        EXPECT_EQ(w.GetItemText(res::IDC_HISTORY), u"Hello");
    });
}

TEST_F(ConsoleTest, ClosingWithLinesStillArrivingIsSafe)
{
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        w.Tick();
        for (int i = 0; i < 60; ++i)
            board->PushInput(kPathA, InputReport("x"));
        w.Click(res::IDCANCEL);
    });
    // Closed with the window, so no delivery can reach a console that is
    // being destroyed (a class derived from it goes first).
    EXPECT_EQ(OpenHandlesOnceClosed(), 0);
    dlg.reset();
}

}  // namespace
