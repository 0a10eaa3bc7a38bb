// A send either happened or visibly did not: the line empties only for a
// report written or on its way; one not written stays (or comes back) in
// the input line, with a beep, a note on the status label and a line on
// standard error. And every line fits the board's report before it goes:
// one typed without a board is cut when the board connects, a recalled one
// when it is recalled.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "console_fixture.h"

using namespace console_test;

namespace {

const std::u16string kKana40(40, u'あ');
// Under code page 932 a kana is two bytes: 31 and the terminator fill a
// 64-byte report.
const std::u16string kKana31(31, u'あ');

class SendOutcomeTest : public ConsoleTest {
protected:
    std::u16string Line(FakeWindow& w) { return w.GetItemText(res::IDC_SEND_TEXT); }
    std::u16string Status(FakeWindow& w) { return w.GetItemText(res::IDC_STATUS); }

    void Connect(FakeWindow& w, hid::ReportLengths lengths = {65, 65})
    {
        board->Plug(Board(kPathA, lengths));
        w.Tick();
        // The link state: the label may show a note over it.
        ASSERT_EQ(dlg->m_strStatus, kConnected);
    }

    // Runs what the writer posts once a pending report is settled.
    void SettleLate(FakeWindow& w, int postsBefore)
    {
        ASSERT_TRUE(WaitFor([&] { return w.posted > postsBefore; }));
        w.DrainPosts();
    }
};

// --- the words ---

// Each reason has words of its own, on a label short enough for its room
// beside the buttons (a full-width character counts two columns), a tip,
// and a log line that names the line.
TEST(SendTexts, EveryFailureIsToldInItsOwnWords)
{
    std::set<std::u16string> notes;
    for (const hid::SendResult r :
         {hid::SendResult::NoBoard, hid::SendResult::NoOutput, hid::SendResult::Refused,
          hid::SendResult::TimedOut, hid::SendResult::QueueFull}) {
        const std::u16string note = texts::SendFailed(r);
        EXPECT_EQ(note.rfind(texts::kSendFailed, 0), 0u);
        int columns = 0;
        for (const char16_t c : note)
            columns += c < 0x80 ? 1 : 2;
        EXPECT_LE(columns, 32) << static_cast<int>(r);
        EXPECT_TRUE(notes.insert(note).second) << static_cast<int>(r);
        EXPECT_GT(texts::SendFailedTip(r).size(), note.size());
        EXPECT_NE(texts::SendFailedLog(u"abc", r).find("\"abc\""), std::string::npos);
    }
    EXPECT_EQ(texts::SendFailed(hid::SendResult::Written), u"");
    EXPECT_EQ(texts::SendFailed(hid::SendResult::Pending), u"");
}

// --- what Enter does with each outcome known at once ---

struct OutcomeCase {
    const char* name;
    hid::ReportLengths lengths;  // {0, 0}: no board
    std::function<void(FakePlatform&)> board;
    std::u16string status;  // the label right after; "" for the link state
    const char* log;        // on standard error; nullptr: nothing
};

class EnterOutcome : public SendOutcomeTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(EnterOutcome, EmptiesTheLineOnlyWhenWritten)
{
    const OutcomeCase& c = GetParam();
    Run([&](FakeWindow& w) {
        // Long enough that a write decides before Enter returns.
        dlg->Device().SetSendWaitMs(30000);
        w.Tick();
        if (c.lengths.input)
            Connect(w, c.lengths);
        c.board(*board);
        const std::u16string linkStatus = Status(w);
        w.Type(res::IDC_SEND_TEXT, u"abc");
        testing::internal::CaptureStderr();
        w.Click(res::IDOK);
        const std::string err = testing::internal::GetCapturedStderr();

        const bool written = c.log == nullptr;
        EXPECT_EQ(Line(w), written ? u"" : u"abc");
        EXPECT_EQ(w.beeps, written ? 0 : 1);
        EXPECT_EQ(Status(w), c.status.empty() ? linkStatus : c.status);
        if (written) {
            EXPECT_EQ(err, "");
        } else {
            EXPECT_EQ(err, std::string("wendrel: \"abc\" was not sent: ") + c.log + "\n");
            // The link state stays readable on the label's tip.
            EXPECT_NE(w.tip[res::IDC_STATUS].find(linkStatus), std::u16string::npos);
        }
        // Recalled either way.
        w.text[res::IDC_SEND_TEXT] = u"";
        w.PressRecall(res::IDC_SEND_TEXT, true);
        EXPECT_EQ(Line(w), u"abc");

        // The note goes; the link state comes back.
        w.TickTimer(res::IDT_NOTE);
        EXPECT_EQ(Status(w), linkStatus);
        EXPECT_FALSE(w.TimerRuns(res::IDT_NOTE));
    });
}

const auto kNothing = [](FakePlatform&) {};

INSTANTIATE_TEST_SUITE_P(
    Cases, EnterOutcome,
    ::testing::Values(
        OutcomeCase{"Written", {65, 65}, kNothing, u"", nullptr},
        OutcomeCase{"NoBoard", {0, 0}, kNothing, u"送信できませんでした: 未接続",
                    "no board is connected"},
        OutcomeCase{"NoOutputReport", {65, 0}, kNothing, u"送信できませんでした: 出力なし",
                    "the board has no output report"},
        OutcomeCase{"Refused", {65, 65}, [](FakePlatform& p) { p.SetWriteFails(true); },
                    u"送信できませんでした: 拒否", "the system refused the write"},
        OutcomeCase{"TimedOut", {65, 65},
                    [](FakePlatform& p) {
                        p.SetWriteFails(true);
                        p.SetWriteTimesOut(true);
                    },
                    u"送信できませんでした: 時間切れ",
                    "the board did not take the report in time"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- a report still on its way when Enter returns ---

struct LateCase {
    const char* name;
    bool fails;
    bool typedSince;  // the user typed into the emptied line meanwhile
    std::u16string lineAfter;
};

class LateOutcome : public SendOutcomeTest, public ::testing::WithParamInterface<LateCase> {};

TEST_P(LateOutcome, AFailureBringsTheLineBackUnlessTheUserTyped)
{
    const LateCase& c = GetParam();
    Run([&](FakeWindow& w) {
        Connect(w);
        dlg->Device().SetSendWaitMs(0);
        board->SetWriteStalls(true);
        w.Type(res::IDC_SEND_TEXT, u"late");
        w.Click(res::IDOK);
        ASSERT_TRUE(WaitFor([&] { return board->StalledWrites() == 1; }));
        // On its way: the line empties, as for a report written.
        EXPECT_EQ(Line(w), u"");
        EXPECT_EQ(w.beeps, 0);
        EXPECT_EQ(Status(w), kConnected);
        if (c.typedSince)
            w.Type(res::IDC_SEND_TEXT, u"next");

        testing::internal::CaptureStderr();
        const int posts = w.posted;
        board->SetWriteFails(c.fails);
        board->SetWriteTimesOut(c.fails);
        board->SetWriteStalls(false);
        SettleLate(w, posts);
        const std::string err = testing::internal::GetCapturedStderr();

        EXPECT_EQ(Line(w), c.lineAfter);
        EXPECT_EQ(w.beeps, c.fails ? 1 : 0);
        EXPECT_EQ(Status(w), c.fails ? u"送信できませんでした: 時間切れ" : kConnected);
        EXPECT_EQ(err.empty(), !c.fails) << err;
    });
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LateOutcome,
    ::testing::Values(LateCase{"WrittenLate", false, false, u""},
                      LateCase{"FailsLate", true, false, u"late"},
                      LateCase{"FailsLateAfterTyping", true, true, u"next"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendOutcomeTest, BootThatFailsLateLeavesTheLineAlone)
{
    Run([&](FakeWindow& w) {
        Connect(w);
        dlg->Device().SetSendWaitMs(0);
        board->SetWriteStalls(true);
        w.Click(res::IDC_BOOT);
        ASSERT_TRUE(WaitFor([&] { return board->StalledWrites() == 1; }));
        EXPECT_EQ(w.beeps, 0);

        testing::internal::CaptureStderr();
        const int posts = w.posted;
        board->SetWriteFails(true);
        board->SetWriteStalls(false);
        SettleLate(w, posts);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "wendrel: \"Boot\" was not sent: the system refused the write\n");
        EXPECT_EQ(Line(w), u"");
        EXPECT_EQ(w.beeps, 1);
        EXPECT_EQ(Status(w), u"送信できませんでした: 拒否");
    });
}

// A board that stopped taking reports: the queue behind its stuck write
// fills, the next send fails at once, and the ones queued fail when the
// board goes.
TEST_F(SendOutcomeTest, AFullQueueRefusesAtOnceAndADisconnectFailsTheQueued)
{
    Run([&](FakeWindow& w) {
        Connect(w);
        dlg->Device().SetSendWaitMs(0);
        board->SetWriteStalls(true);
        for (std::size_t i = 0; i <= CHidDevice::kMaxPendingOutput; ++i) {
            w.Type(res::IDC_SEND_TEXT, u"q");
            w.Click(res::IDOK);
            ASSERT_EQ(Line(w), u"") << i;
            if (i == 0) {
                ASSERT_TRUE(WaitFor([&] { return board->StalledWrites() == 1; }));
            }
        }
        EXPECT_EQ(w.beeps, 0);
        w.Type(res::IDC_SEND_TEXT, u"full");
        testing::internal::CaptureStderr();
        w.Click(res::IDOK);
        EXPECT_EQ(Line(w), u"full");
        EXPECT_EQ(w.beeps, 1);
        EXPECT_EQ(Status(w), u"送信できませんでした: 満杯");

        // The board goes: the four queued are dropped, and the stuck one
        // fails with it. Each is told.
        board->Unplug(kPathA);
        w.Tick();
        const int told = 1 + 1 + static_cast<int>(CHidDevice::kMaxPendingOutput);
        EXPECT_TRUE(WaitFor([&] {
            w.DrainPosts();
            return w.beeps == told;
        }));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(w.beeps, told) << err;
        EXPECT_EQ(Line(w), u"full");  // the user's, not a queued one
    });
}

TEST_F(SendOutcomeTest, ANewLinkStateEndsANoteAtOnce)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        w.Type(res::IDC_SEND_TEXT, u"abc");
        w.Click(res::IDOK);
        ASSERT_EQ(Status(w), u"送信できませんでした: 未接続");
        ASSERT_TRUE(w.TimerRuns(res::IDT_NOTE));
        board->Plug(Board(kPathA));
        w.Tick();
        EXPECT_EQ(Status(w), kConnected);
        EXPECT_FALSE(w.TimerRuns(res::IDT_NOTE));
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");
        EXPECT_EQ(Line(w), u"abc");
    });
}

// --- the fit rule before a line goes ---

TEST_F(SendOutcomeTest, ALineTypedWithoutABoardIsCutWhenTheBoardConnects)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        ASSERT_EQ(w.Type(res::IDC_SEND_TEXT, kKana40), 40);
        Connect(w);
        EXPECT_EQ(Line(w), kKana31);
        EXPECT_EQ(w.beeps, 1);
        EXPECT_EQ(Status(w), u"入力行を切り詰めました");
        EXPECT_NE(w.tip[res::IDC_STATUS].find(u" 31 "), std::u16string::npos);
        EXPECT_NE(w.tip[res::IDC_STATUS].find(kConnected), std::u16string::npos);
        w.TickTimer(res::IDT_NOTE);
        EXPECT_EQ(Status(w), kConnected);

        // What goes is what the line shows.
        dlg->Device().SetSendWaitMs(30000);
        w.Click(res::IDOK);
        ASSERT_TRUE(board->WaitWritten(kPathA, 1));
        EXPECT_EQ(Line(w), u"");
    });
}

TEST_F(SendOutcomeTest, ALineThatFitsIsLeftAloneAtConnect)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        w.Type(res::IDC_SEND_TEXT, kKana31);
        const int sets = w.Sets(res::IDC_SEND_TEXT);
        Connect(w);
        EXPECT_EQ(Line(w), kKana31);
        EXPECT_EQ(w.Sets(res::IDC_SEND_TEXT), sets);
        EXPECT_EQ(w.beeps, 0);
    });
}

TEST_F(SendOutcomeTest, ARecalledLineThatDoesNotFitIsCut)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        // Sent without a board: kept, and recalled later.
        for (const std::u16string& line : {kKana40, std::u16string(u"ab")}) {
            w.Type(res::IDC_SEND_TEXT, line);
            w.Click(res::IDOK);
            ASSERT_EQ(Line(w), line);
            w.text[res::IDC_SEND_TEXT].clear();
        }
        Connect(w);
        const int beeps = w.beeps;

        w.PressRecall(res::IDC_SEND_TEXT, true);
        EXPECT_EQ(Line(w), u"ab");
        EXPECT_EQ(w.beeps, beeps);
        w.PressRecall(res::IDC_SEND_TEXT, true);
        EXPECT_EQ(Line(w), kKana31);
        EXPECT_EQ(w.beeps, beeps + 1);
        EXPECT_EQ(Status(w), u"入力行を切り詰めました");
        w.PressRecall(res::IDC_SEND_TEXT, false);
        EXPECT_EQ(Line(w), u"ab");
    });
}

}  // namespace
