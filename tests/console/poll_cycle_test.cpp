// The poll cycle: its state table, the look that waits for an open, the
// reader's end as a lost board, and the timer that sleeps while connected
// and idle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_fixture.h"

using namespace console_test;

namespace {

// --- the poll cycle's state table ---

enum class From { Starting, Connected, Disconnected };

struct Transition {
    const char* name;
    From from;
    std::function<void(FakePlatform&)> condition;
    // expected afterwards
    std::u16string status;
    std::u16string path;
    int connected;
    int openHandles;  // read and write handle of a live connection: 2
};

std::vector<Transition> Transitions()
{
    auto plugA = [](FakePlatform& p) { p.Plug(Board(kPathA)); };
    auto plugAFailing = [](FakePlatform& p) {
        p.SetOpenFails(hid::OpenError::Other);
        p.Plug(Board(kPathA));
    };
    auto nothing = [](FakePlatform&) {};
    auto unplugA = [](FakePlatform& p) { p.Unplug(kPathA); };
    auto moveToB = [](FakePlatform& p) {
        p.Unplug(kPathA);
        p.Plug(Board(kPathB));
    };
    auto moveToBFailing = [](FakePlatform& p) {
        p.Unplug(kPathA);
        p.SetOpenFails(hid::OpenError::Other);
        p.Plug(Board(kPathB));
    };
    return {
        {"StartingFoundOpens", From::Starting, plugA, kConnected, kPathA, 1, 2},
        {"StartingFoundOpenFails", From::Starting, plugAFailing, u"", u"", 1, 0},
        {"StartingNoDevice", From::Starting, nothing, kNone, u"", 0, 0},
        {"ConnectedSamePath", From::Connected, nothing, kConnected, kPathA, 1, 2},
        {"ConnectedOtherPathOpens", From::Connected, moveToB, kConnected, kPathB, 1, 2},
        // The old connection is closed by the attempt: the status must not
        // name it, and the next tick tries the new path again.
        {"ConnectedOtherPathOpenFails", From::Connected, moveToBFailing, kNone, u"", 0, 0},
        {"ConnectedNoDevice", From::Connected, unplugA, kNone, u"", 0, 0},
        {"DisconnectedFoundOpens", From::Disconnected, plugA, kConnected, kPathA, 1, 2},
        {"DisconnectedFoundOpenFails", From::Disconnected, plugAFailing, kNone, u"", 0, 0},
        {"DisconnectedNoDevice", From::Disconnected, nothing, kNone, u"", 0, 0},
    };
}

class PollCycleTest : public ConsoleTest, public ::testing::WithParamInterface<Transition> {};

TEST_P(PollCycleTest, OneTick)
{
    const Transition& t = GetParam();
    Run([&](FakeWindow& w) {
        if (t.from == From::Connected) {
            board->Plug(Board(kPathA));
            w.Tick();
        } else if (t.from == From::Disconnected) {
            w.Tick();
        }
        // The typed line is the user's: no change of state touches it.
        w.Type(res::IDC_SEND_TEXT, u"typed");
        const int refreshes = w.Sets(res::IDC_SEND_TEXT);
        t.condition(*board);
        w.Tick();

        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), t.status);
        EXPECT_EQ(dlg->m_strStatus, t.status);
        EXPECT_EQ(dlg->m_strDevicePath, t.path);
        EXPECT_EQ(dlg->m_bConnected, t.connected);
        EXPECT_EQ(w.Sets(res::IDC_SEND_TEXT), refreshes);
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"typed");
        // One connection at most. A failed Open on a new path has let go of
        // the old one (its board is gone); the next tick tries again.
        EXPECT_EQ(OpenHandlesOnceClosed(), t.openHandles);
    });
}

INSTANTIATE_TEST_SUITE_P(StateTable, PollCycleTest, ::testing::ValuesIn(Transitions()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConsoleTest, StartsEmptyWithTheLimitAndTimerSet)
{
    Run([&](FakeWindow& w) {
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), u"");
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"");
        EXPECT_EQ(w.limit[res::IDC_SEND_TEXT], 63);
        EXPECT_EQ(w.timerId, 1);
        EXPECT_EQ(w.timerMs, 50);
        EXPECT_EQ(w.bigIcon, ws.Icon());
        EXPECT_EQ(w.smallIcon, ws.Icon());
    });
}

TEST_F(ConsoleTest, LaterTicksWithoutBoardChangeNothing)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        const int sets = w.Sets(res::IDC_STATUS);
        for (int i = 0; i < 5; ++i)
            w.Tick();
        EXPECT_EQ(w.Sets(res::IDC_STATUS), sets);
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kNone);
    });
}

TEST_F(ConsoleTest, ConnectingAndDisconnectingKeepTypedText)
{
    Run([&](FakeWindow& w) {
        w.Type(res::IDC_SEND_TEXT, u"typed");
        board->Plug(Board(kPathA));
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"typed");

        w.Type(res::IDC_SEND_TEXT, u" again");
        board->Unplug(kPathA);
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kNone);
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"typed again");
        EXPECT_EQ(w.beeps, 0);
    });
}

// The kernel's open can wait for seconds (another device's stuck write
// holds the lock it needs). The window keeps ticking meanwhile, starts no
// second open, and connects as soon as the open returns, without waiting
// for another tick.
TEST_F(ConsoleTest, AnOpenThatWaitsInTheKernelHoldsNothingUp)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        board->HoldOpens(true);
        board->Plug(Board(kPathA));
        w.settle = nullptr;
        w.Tick();  // the scan
        ASSERT_TRUE(dlg->Device().WaitIdle());
        w.DrainPosts();  // ...which starts the open
        ASSERT_TRUE(WaitFor([&] { return board->HeldOpens() == 1; }));
        for (int i = 0; i < 5; ++i)
            w.Tick();
        EXPECT_EQ(board->HeldOpens(), 1);
        EXPECT_TRUE(dlg->Device().IsOpening());
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kNone);

        board->HoldOpens(false);
        ASSERT_TRUE(dlg->Device().WaitIdle());
        EXPECT_EQ(w.DrainPosts(), 1);
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        EXPECT_EQ(dlg->m_strDevicePath, kPathA);
        EXPECT_EQ(board->OpenHandles(), 2);
    });
}

// The reader ends when the board vanished and came back under the same
// path between two looks (Windows keeps paths across a replug), or on a
// read error: the connection is dead, so the console lets go of it and
// opens the board again.
TEST_F(ConsoleTest, AnEndedReaderIsALostBoardThatIsOpenedAgain)
{
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        w.Tick();
        ASSERT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        board->Unplug(kPathA);
        board->Plug(Board(kPathA));
        ASSERT_TRUE(WaitFor([&] { return !dlg->Device().IsReading(); }));
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        EXPECT_EQ(dlg->m_strDevicePath, kPathA);
        EXPECT_EQ(OpenHandlesOnceClosed(), 2);
        board->PushInput(kPathA, InputReport("after"));
        ASSERT_TRUE(WaitFor([&] { return dlg->received == 1; }));
    });
}

// --- an idle connection costs no wake-ups ---

// Connected with nothing new, the timer stops; whatever a tick would have
// found starts it again and is handled at once.
struct IdleChange {
    const char* name;
    std::function<void(FakePlatform&)> change;
    std::u16string status;
    std::u16string path;
};

class IdleConnectionTest : public ConsoleTest, public ::testing::WithParamInterface<IdleChange> {};

TEST_P(IdleConnectionTest, TimerSleepsUntilSomethingChanges)
{
    const IdleChange& c = GetParam();
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        w.Tick();
        ASSERT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        EXPECT_EQ(w.timerId, 1) << "the tick that connects keeps the timer";
        w.Tick();
        EXPECT_EQ(w.timerId, 0) << "a quiet tick while connected stops the timer";
        ASSERT_TRUE(board->WaitForChangeWaiter());

        const int posted = w.posted;
        c.change(*board);
        ASSERT_TRUE(WaitFor([&] { return w.posted > posted; }));
        w.Settle();
        EXPECT_EQ(w.timerId, 1);
        EXPECT_EQ(w.timerMs, 50);
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), c.status);
        EXPECT_EQ(dlg->m_strDevicePath, c.path);
        EXPECT_EQ(OpenHandlesOnceClosed(), c.path.empty() ? 0 : 2);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Changes, IdleConnectionTest,
    ::testing::Values(
        IdleChange{"BoardUnplugged", [](FakePlatform& p) { p.Unplug(kPathA); }, kNone, u""},
        // Gone and back under the same path: the ended reader says so.
        IdleChange{"BoardReplugged",
                   [](FakePlatform& p) {
                       p.Unplug(kPathA);
                       p.Plug(Board(kPathA));
                   },
                   kConnected, kPathA},
        IdleChange{"OtherDeviceCame",
                   [](FakePlatform& p) {
                       p.Plug({kPathB, u"HID\\VID_046D&PID_C077&REV_0001", {9, 0}});
                   },
                   kConnected, kPathA}),
    [](const auto& info) { return std::string(info.param.name); });

// Disconnected, the timer ticks on, and a board that appears is connected
// at once, not at the next tick.
TEST_F(ConsoleTest, APluggedBoardIsConnectedWithoutWaitingForATick)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        ASSERT_EQ(w.GetItemText(res::IDC_STATUS), kNone);
        ASSERT_TRUE(board->WaitForChangeWaiter());
        const int posted = w.posted;
        board->Plug(Board(kPathA));
        ASSERT_TRUE(WaitFor([&] { return w.posted > posted; }));
        w.Settle();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        EXPECT_EQ(w.timerId, 1);
    });
}

// A watch that opens but never speaks (a container gets no device
// events): while not connected, a second of ticks brings one scan, which
// finds a board plugged in meanwhile; connected, none is forced.
TEST_F(ConsoleTest, AWatchThatNeverSpeaksStillFindsABoard)
{
    Run([&](FakeWindow& w) {
        w.Tick();  // the first look scans
        ASSERT_EQ(w.GetItemText(res::IDC_STATUS), kNone);
        board->SetChangesSilent(true);
        int scans = board->EnumerateCount();
        for (int i = 0; i < 3 * CWendrelDlg::kRescanTicks; ++i)
            w.Tick();
        EXPECT_EQ(board->EnumerateCount(), scans + 3);

        board->Plug(Board(kPathA));
        int ticks = 0;
        while (w.GetItemText(res::IDC_STATUS) != kConnected && ticks < CWendrelDlg::kRescanTicks) {
            w.Tick();
            ++ticks;
        }
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kConnected)
            << "not found within " << CWendrelDlg::kRescanTicks << " ticks";

        scans = board->EnumerateCount();
        for (int i = 0; i < 3 * CWendrelDlg::kRescanTicks; ++i)
            w.Tick();
        EXPECT_EQ(board->EnumerateCount(), scans);
    });
}

TEST_F(ConsoleTest, TimerKeepsTickingWhereChangesCannotBeWatched)
{
    board->SetCanTellChanges(false);
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        for (int i = 0; i < 3; ++i)
            w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        EXPECT_EQ(w.timerId, 1);
        board->Unplug(kPathA);
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kNone);
    });
}

}  // namespace
