// A board that stays listed but whose reader ends as soon as it is opened:
// opened again at once the first time, then after waits that double from
// 0.5 s up to 8 s, under a label that never names it as connected; a
// reader that lasts, or the board going away, starts the schedule afresh.
// The console's clock is the test's: it moves only when the test says.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "console_fixture.h"

using namespace console_test;
using namespace std::chrono_literals;

namespace {

const std::u16string kUnreadable(texts::kUnreadable);

class FailingReaderTest : public ConsoleTest {
protected:
    FailingReaderTest() { dlg->SetClock([this] { return now; }); }

    std::u16string Status(FakeWindow& w) { return w.GetItemText(res::IDC_STATUS); }

    // Ticks until the label says `status`. The reader ends on its own
    // thread: the watch or a later tick sees it.
    bool TickUntil(FakeWindow& w, const std::u16string& status)
    {
        for (int i = 0; i < 50 && Status(w) != status; ++i) {
            WaitFor([&] { return !dlg->Device().IsOpen() || !dlg->Device().IsReading(); }, 1000);
            w.Tick();
        }
        return Status(w) == status;
    }

    // The reader on trial has ended, and the console has seen it end.
    void SeeTheEnd(FakeWindow& w)
    {
        ASSERT_TRUE(WaitFor([&] { return !dlg->Device().IsReading(); }));
        w.Tick();
        ASSERT_FALSE(dlg->Device().IsOpen());
    }

    // Reaches the first hold-off: the board's reader has ended at once twice.
    void StartFailing(FakeWindow& w)
    {
        board->SetReadsFail(true);
        board->Plug(Board(kPathA));
        ASSERT_TRUE(TickUntil(w, kUnreadable));
        EXPECT_EQ(board->ReadOpens(), 2) << "the first end is followed by one open at once";
    }

    // Checks that the next open comes `wait` after the last end, not before.
    void ExpectOpenAfter(FakeWindow& w, std::chrono::milliseconds wait)
    {
        const int opens = board->ReadOpens();
        now += wait - 1ms;
        for (int i = 0; i < 3; ++i)
            w.Tick();
        EXPECT_EQ(board->ReadOpens(), opens) << "opened before " << wait.count() << " ms";
        now += 1ms;
        w.Tick();
        EXPECT_EQ(board->ReadOpens(), opens + 1) << "not opened after " << wait.count() << " ms";
    }

    CReopenBackoff::Clock::time_point now{std::chrono::hours(1)};
};

TEST_F(FailingReaderTest, IsOpenedAgainAfterWaitsThatDoubleUpTo8Seconds)
{
    Run([&](FakeWindow& w) {
        testing::internal::CaptureStderr();
        StartFailing(w);
        EXPECT_EQ(w.tip[res::IDC_STATUS], texts::UnreadableTip());
        EXPECT_EQ(dlg->m_bConnected, 0);
        // From here the label never changes, not even for a moment.
        const int labelSets = w.Sets(res::IDC_STATUS);
        for (const auto wait : {500ms, 1000ms, 2000ms, 4000ms, 8000ms, 8000ms}) {
            ExpectOpenAfter(w, wait);
            EXPECT_EQ(Status(w), kUnreadable);
            SeeTheEnd(w);
        }
        EXPECT_EQ(w.Sets(res::IDC_STATUS), labelSets);
        EXPECT_EQ(dlg->m_strDevicePath, u"");
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("/dev/hidraw0"), std::string::npos) << err;
    });
}

TEST_F(FailingReaderTest, AReaderThatLastsIsConnectedAndTheScheduleStartsAfresh)
{
    Run([&](FakeWindow& w) {
        // The quick reopens, back and forth, leave the typed line alone.
        w.Type(res::IDC_SEND_TEXT, u"typed");
        StartFailing(w);
        board->SetReadsFail(false);
        ExpectOpenAfter(w, 500ms);
        // On trial: named once its reader has run for a while.
        now += CReopenBackoff::kLasting - 1ms;
        w.Tick();
        EXPECT_EQ(Status(w), kUnreadable);
        now += 1ms;
        w.Tick();
        EXPECT_EQ(Status(w), kConnected);
        EXPECT_EQ(dlg->m_strDevicePath, kPathA);
        EXPECT_EQ(dlg->m_bConnected, 1);
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");

        // Its end, long after, is a board lost: opened again at once, and
        // held off 0.5 s only from the second quick end on.
        now += 10s;
        board->SetReadsFail(true);
        const int opens = board->ReadOpens();
        ASSERT_TRUE(TickUntil(w, kUnreadable));
        EXPECT_EQ(board->ReadOpens(), opens + 2);
        ExpectOpenAfter(w, 500ms);
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"typed");
    });
}

TEST_F(FailingReaderTest, TheBoardGoingAwayEndsTheWait)
{
    Run([&](FakeWindow& w) {
        StartFailing(w);
        board->Unplug(kPathA);
        w.Tick();
        EXPECT_EQ(Status(w), kNone);
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");
        // The clock stands still: only a fresh start opens it again.
        const int opens = board->ReadOpens();
        board->Plug(Board(kPathA));
        ASSERT_TRUE(TickUntil(w, kUnreadable));
        EXPECT_EQ(board->ReadOpens(), opens + 2);
    });
}

}  // namespace
