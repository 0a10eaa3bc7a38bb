// The console's logic on a fake window and a fake board: the poll cycle's
// states, the commands, the hand-over of received lines to the display.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <thread>

#include "fake_platform.h"
#include "fake_window.h"
#include "icon_position.h"
#include "resources.h"
#include "counting_dlg.h"
#include "wendrel_dlg.h"

using fake::FakeWindow;
using fake::FakeWindowSystem;
using hid::test::FakeBoard;
using hid::test::FakePlatform;

namespace {

// The board's code page comes from the locale (on Windows, from the ANSI
// code page Wine derives from it): ctest pins it to Japanese (932) whatever
// the machine's locale, see CMakeLists.txt.

const std::u16string kPathA = u"/dev/hidraw0";
const std::u16string kPathB = u"/dev/hidraw7";
const std::u16string kConnected = u"VID:0x04D8 / PID:0x003F";
const std::u16string kNone = u"Non Connections";

FakeBoard Board(const std::u16string& path, hid::ReportLengths lengths = {65, 65})
{
    return {path, u"HID\\VID_04D8&PID_003F&REV_0002", lengths};
}

hid::test::Report InputReport(const std::string& text)
{
    hid::test::Report r(65, 0);
    for (size_t i = 0; i < text.size() && i < 63; ++i)
        r[1 + i] = static_cast<std::uint8_t>(text[i]);
    return r;
}

template <typename Pred>
bool WaitFor(Pred pred, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}


std::u16string LastRow(const std::u16string& text)
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
    bool refreshed;
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
        {"StartingFoundOpens", From::Starting, plugA, kConnected, kPathA, 1, true, 2},
        {"StartingFoundOpenFails", From::Starting, plugAFailing, u"", u"", 1, false, 0},
        {"StartingNoDevice", From::Starting, nothing, kNone, u"", 0, true, 0},
        {"ConnectedSamePath", From::Connected, nothing, kConnected, kPathA, 1, false, 2},
        {"ConnectedOtherPathOpens", From::Connected, moveToB, kConnected, kPathB, 1, true, 2},
        // The old connection is closed by the attempt: the status must not
        // name it, and the next tick tries the new path again.
        {"ConnectedOtherPathOpenFails", From::Connected, moveToBFailing, kNone, u"", 0, true, 0},
        {"ConnectedNoDevice", From::Connected, unplugA, kNone, u"", 0, true, 0},
        {"DisconnectedFoundOpens", From::Disconnected, plugA, kConnected, kPathA, 1, true, 2},
        {"DisconnectedFoundOpenFails", From::Disconnected, plugAFailing, kNone, u"", 0, false, 0},
        {"DisconnectedNoDevice", From::Disconnected, nothing, kNone, u"", 0, false, 0},
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
        const int refreshes = w.Sets(res::IDC_SEND_TEXT);
        t.condition(*board);
        w.Tick();

        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), t.status);
        EXPECT_EQ(dlg->m_strStatus, t.status);
        EXPECT_EQ(dlg->m_strDevicePath, t.path);
        EXPECT_EQ(dlg->m_bConnected, t.connected);
        EXPECT_EQ(w.Sets(res::IDC_SEND_TEXT) > refreshes, t.refreshed);
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

TEST_F(ConsoleTest, ConnectingAndDisconnectingEmptyTypedText)
{
    Run([&](FakeWindow& w) {
        w.Type(res::IDC_SEND_TEXT, u"typed");
        board->Plug(Board(kPathA));
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"");

        w.Type(res::IDC_SEND_TEXT, u"again");
        board->Unplug(kPathA);
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"");
    });
}

// --- commands ---

TEST_F(ConsoleTest, EnterSendsOneReportAndKeepsTheWindow)
{
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        w.Tick();
        w.Type(res::IDC_SEND_TEXT, u"abc");
        w.Click(res::IDOK);

        ASSERT_TRUE(board->WaitWritten(kPathA, 1));
        hid::test::Report expected(65, 0);
        expected[1] = 'a';
        expected[2] = 'b';
        expected[3] = 'c';
        EXPECT_EQ(board->Written(kPathA), std::vector<hid::test::Report>{expected});
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"");
        EXPECT_FALSE(w.ended.has_value());
    });
}

TEST_F(ConsoleTest, EnterWhileDisconnectedOnlyClearsTheLine)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        w.Type(res::IDC_SEND_TEXT, u"abc");
        w.Click(res::IDOK);
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"");
        EXPECT_FALSE(w.ended.has_value());
    });
}

TEST_F(ConsoleTest, CancelEndsTheModalRun)
{
    Run([&](FakeWindow& w) { w.Click(res::IDCANCEL); });
    EXPECT_EQ(ws.created, std::vector<int>{res::IDD_WENDREL_DIALOG});
}

TEST_F(ConsoleTest, BootSendsBootWhileConnected)
{
    Run([&](FakeWindow& w) {
        board->Plug(Board(kPathA));
        w.Tick();
        w.Type(res::IDC_SEND_TEXT, u"kept");
        w.Click(res::IDC_BOOT);
        ASSERT_TRUE(board->WaitWritten(kPathA, 1));
        const hid::test::Report report = board->Written(kPathA).at(0);
        EXPECT_EQ(std::string(report.begin() + 1, report.begin() + 6), std::string("Boot\0", 5));
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"kept");
    });
}

TEST_F(ConsoleTest, BootWhileDisconnectedDoesNothing)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        const auto before = w.sets;
        const auto text = w.text;
        w.Click(res::IDC_BOOT);
        EXPECT_EQ(w.sets, before);
        EXPECT_EQ(w.text, text);
        EXPECT_FALSE(w.ended.has_value());
    });
}

// --- the input line ---

struct FitCase {
    const char* name;
    hid::ReportLengths lengths;  // {0, 0}: no board
    std::u16string typed;
    int taken;
};

class InputLimitTest : public ConsoleTest, public ::testing::WithParamInterface<FitCase> {};

TEST_P(InputLimitTest, RefusesWhatCannotBeSent)
{
    const FitCase& c = GetParam();
    Run([&](FakeWindow& w) {
        if (c.lengths.output) {
            board->Plug(Board(kPathA, c.lengths));
            w.Tick();
            ASSERT_EQ(dlg->m_bConnected, 1);
        }
        EXPECT_EQ(w.Type(res::IDC_SEND_TEXT, c.typed), c.taken);
    });
}

// Under the Japanese locale set above the board's code page is 932: a kana
// costs two bytes, and 31 of them and the terminator fill 64 bytes.
INSTANTIATE_TEST_SUITE_P(
    Cases, InputLimitTest,
    ::testing::Values(
        FitCase{"DisconnectedRefusesThe64th", {0, 0}, std::u16string(64, u'a'), 63},
        FitCase{"ConnectedRefusesThe64th", {65, 65}, std::u16string(64, u'a'), 63},
        FitCase{"DisconnectedTakesAnyKana", {0, 0}, std::u16string(40, u'あ'), 40},
        FitCase{"KanaStopAtThePayload", {65, 65}, std::u16string(40, u'あ'), 31},
        FitCase{"SmallReportStopsEarly", {65, 9}, u"12345678", 7},
        FitCase{"SmallReportKanaStopsEarly", {65, 9}, u"ああああ", 3},
        FitCase{"OutsideTheCodePageRefused", {65, 65}, u"ab한c", 2},
        FitCase{"OutsideTheCodePageRefusedDisconnected", {0, 0}, u"ab€", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConsoleTest, PermissionDeniedIsNamedOnTheStatusLabelAndOnceOnStandardError)
{
    Run([&](FakeWindow& w) {
        w.Tick();  // Disconnected
        board->SetOpenFails(hid::OpenError::PermissionDenied);
        board->Plug(Board(kPathA));
        w.Type(res::IDC_SEND_TEXT, u"draft");
        testing::internal::CaptureStderr();
        for (int i = 0; i < 5; ++i)
            w.Tick();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), PermissionDeniedStatus());
        EXPECT_EQ(w.tip[res::IDC_STATUS], PermissionDeniedTip());
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("/dev/hidraw0"), std::string::npos) << err;
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"draft");  // only the label changed
        EXPECT_EQ(dlg->m_bConnected, 0);

        // Access granted (a udev rule applied): the next tick connects.
        board->ClearOpenFails();
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");
    });
}

TEST_F(ConsoleTest, PermissionTextGoesWithTheBoard)
{
    Run([&](FakeWindow& w) {
        board->SetOpenFails(hid::OpenError::PermissionDenied);
        board->Plug(Board(kPathA));
        w.Tick();  // from Starting
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), PermissionDeniedStatus());
        board->Unplug(kPathA);
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kNone);
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");

        w.Tick();  // from Disconnected
        board->Plug(Board(kPathA));
        w.Tick();
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), PermissionDeniedStatus());
        board->Unplug(kPathA);
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kNone);
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");
    });
}

// A node is looked at as soon as it appears, which on a desktop can be
// before udev has given this user access: a single refusal says nothing.
TEST_F(ConsoleTest, ARefusalThatEndsAtTheNextTryIsNeverNamed)
{
    Run([&](FakeWindow& w) {
        w.Tick();  // Disconnected
        board->SetOpenFails(hid::OpenError::PermissionDenied);
        board->Plug(Board(kPathA));
        testing::internal::CaptureStderr();
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kNone);
        board->ClearOpenFails();
        w.Tick();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");
    });
}

TEST_F(ConsoleTest, OtherOpenFailuresGiveNoTip)
{
    Run([&](FakeWindow& w) {
        board->SetOpenFails(hid::OpenError::Other);
        board->Plug(Board(kPathA));
        w.Tick();
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), u"");
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
        for (int i = 33; i <= 50; ++i)
            expected += u"L" + std::u16string(1, u'0' + i / 10) + char16_t(u'0' + i % 10) +
                        (i < 50 ? u"\r\n" : u"");
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

// --- window menu, About box, minimised painting ---

TEST_F(ConsoleTest, WindowMenuEndsWithTheAboutEntry)
{
    Run([&](FakeWindow& w) {
        ASSERT_EQ(w.menu.size(), 2u);
        EXPECT_EQ(std::get<0>(w.menu[0]), wsys::MenuItem::Separator);
        EXPECT_EQ(w.menu[1], std::make_tuple(wsys::MenuItem::Text, 0x0010,
                                             std::u16string(u"バージョン情報 Wendrel(&A)...")));
    });
}

TEST_F(ConsoleTest, AboutEntryRunsTheAboutBoxModally)
{
    bool aboutRan = false;
    ws.script[res::IDD_ABOUTBOX] = [&](FakeWindow& about) {
        aboutRan = true;
        about.Click(res::IDOK);
    };
    Run([&](FakeWindow& w) {
        w.ChooseMenu(0x0010);
        EXPECT_TRUE(aboutRan);
        w.ChooseMenu(0x0013);  // the low four bits belong to the system
        w.ChooseMenu(0x0020);
        EXPECT_FALSE(w.ended.has_value());
    });
    EXPECT_EQ(ws.created, (std::vector<int>{102, 100, 100}));
}

TEST(MinimisedIcon, CentredWithTheOddPixelRightAndDown)
{
    struct Case {
        wsys::Size client, icon, at;
    } cases[] = {
        {{480, 300}, {32, 32}, {224, 134}},
        {{33, 33}, {32, 32}, {1, 1}},
        {{32, 32}, {32, 32}, {0, 0}},
        {{160, 28}, {32, 32}, {64, -1}},
        {{0, 0}, {32, 32}, {-15, -15}},
    };
    for (const auto& c : cases) {
        const wsys::Size at = MinimisedIconOrigin(c.client, c.icon);
        EXPECT_EQ(at.cx, c.at.cx) << c.client.cx;
        EXPECT_EQ(at.cy, c.at.cy) << c.client.cy;
    }
}

TEST_F(ConsoleTest, PaintsTheIconOnlyWhenMinimised)
{
    Run([&](FakeWindow& w) {
        w.Paint();
        EXPECT_TRUE(w.draws.empty());
        w.iconic = true;
        w.client = {160, 28};
        w.Paint();
        EXPECT_EQ(w.draws, (std::vector<std::tuple<int, int, wsys::IconHandle>>{
                               {64, -1, ws.Icon()}}));
    });
}

// --- dialog units ---

TEST(DialogUnits, ConvertAsTheWindowsDialogManager)
{
    // 52 letters 312 px wide: 6 px average.
    EXPECT_EQ(res::BaseUnitX(312), 6);
    EXPECT_EQ(res::BaseUnitX(337), 6);  // 6.48 rounds down
    EXPECT_EQ(res::BaseUnitX(338), 7);  // 6.5 rounds up
    EXPECT_EQ(res::DluToPixelsX(320, 6), 480);
    EXPECT_EQ(res::DluToPixelsY(200, 12), 300);
    EXPECT_EQ(res::DluToPixelsX(7, 6), 11);   // 10.5 rounds up
    EXPECT_EQ(res::DluToPixelsY(149, 13), 242);  // 242.125
}

}  // namespace
