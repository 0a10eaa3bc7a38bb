// The console's window keeps answering and the program ends within a bound
// whatever hangs behind it: a close that never returns, a reader and a
// watch that their wakes never reach, a thread the system will not make.
// The times are printed; the bounds only catch a hang.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "console_fixture.h"
#include "console_texts.h"
#include "service_thread.h"

namespace {

using namespace console_test;

double MsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

// A tick, without waiting for the worker (which may be stuck): the longest
// one in ms.
double TickUnsettled(FakeWindow& w, double longest)
{
    const auto t = std::chrono::steady_clock::now();
    w.TickTimer(res::IDT_POLL);
    w.DrainPosts();
    return std::max(longest, MsSince(t));
}

TEST_F(ConsoleTest, AStuckCloseHoldsUpNeitherTheWindowNorTheEnd)
{
    auto ending = std::chrono::steady_clock::now();
    double longestTick = 0;
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        w.Tick();
        ASSERT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        w.settle = nullptr;

        // The board goes and its close never returns: the window ticks on,
        // says so, and looks again once the close is over.
        board->HoldCloses(true);
        board->Unplug(kPathA);
        EXPECT_TRUE(WaitFor([&] {
            longestTick = TickUnsettled(w, longestTick);
            return w.GetItemText(res::IDC_STATUS) == kNone;
        }));
        ASSERT_TRUE(WaitFor([&] { return board->HeldCloses() >= 1; }));
        board->Plug(Board(kPathA));
        for (int i = 0; i < 10; ++i)
            longestTick = TickUnsettled(w, longestTick);
        board->HoldCloses(false);
        ASSERT_TRUE(WaitFor([&] {
            TickUnsettled(w, 0);
            return w.GetItemText(res::IDC_STATUS) == kConnected;
        }));

        // Then the program ends while every close is held and every wake
        // ignored: the reader's read and the watch's wait go on.
        board->HoldCloses(true);
        board->IgnoreWakes(true);
        ending = std::chrono::steady_clock::now();
    });
    // The window is gone; the console goes with it.
    dlg.reset();
    const double endMs = MsSince(ending);
    std::printf("stuck close, reader and watch ignoring their wakes: longest tick %.1f ms, "
                "window closed and console gone in %.0f ms\n",
                longestTick, endMs);
    EXPECT_LT(endMs, 20000.0);  // only catches a hang

    // What was left behind finishes once the system lets go.
    board->HoldCloses(false);
    board->IgnoreWakes(false);
    board->PushInput(kPathA, InputReport("late"));  // ends the read
    board->Plug(Board(kPathB));                      // ends the wait
    EXPECT_TRUE(WaitFor([&] { return board->OpenHandles() == 0; }, 20000));
    EXPECT_EQ(board->CloseWhileBusy(), 0);
}

// An open whose completion is still in the window's queue when the window
// closes: its handles are closed off the user-interface thread (the fixture
// counts blocking calls there).
TEST_F(ConsoleTest, AnOpenDroppedWithTheWindowIsClosedElsewhere)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        board->HoldOpens(true);
        board->Plug(Board(kPathA));
        w.settle = nullptr;
        w.Tick();
        ASSERT_TRUE(dlg->Device().WaitIdle());
        w.DrainPosts();  // the scan's answer starts the open
        ASSERT_TRUE(WaitFor([&] { return board->HeldOpens() == 1; }));
        board->HoldCloses(true);  // a close here would hold the window
        board->HoldOpens(false);
        ASSERT_TRUE(dlg->Device().WaitIdle());  // the completion waits in the queue
    });
    EXPECT_TRUE(WaitFor([&] { return board->HeldCloses() >= 1; }, 20000));
    board->HoldCloses(false);
    EXPECT_TRUE(WaitFor([&] { return board->OpenHandles() == 0; }, 20000));
}

// No thread to be had: the label says the console cannot watch for boards,
// the tip why, and the console tries again at every tick; nothing ends.
TEST_F(ConsoleTest, AThreadThatCannotBeMadeIsShownAndTriedAgain)
{
    Run([&](FakeWindow& w) {
        hid::CServiceThread::RefuseThreads(true);
        board->Plug(Board(kPathA));
        w.Tick();
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), std::u16string(texts::kCannotWatch));
        const std::u16string tip = w.tip[res::IDC_STATUS];
        EXPECT_NE(tip.find(u"スレッド"), std::u16string::npos) << "the tip says why";
        EXPECT_NE(tip.find(u"thread"), std::u16string::npos) << "with the system's reason";

        hid::CServiceThread::RefuseThreads(false);
        for (int i = 0; i < 3 && w.GetItemText(res::IDC_STATUS) != kConnected; ++i)
            w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");
    });
}

}  // namespace
