// A board that is there but cannot be opened, for lack of permission or
// because another program holds it: named on the status label from the
// second refusal, explained in its tooltip, logged once, and forgotten
// with the board or as soon as the open succeeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>

#include "console_fixture.h"

using namespace console_test;

namespace {

// One problem state: the refusal that causes it and what the console shows.
struct Problem {
    const char* name;
    hid::OpenError error;
    std::u16string (*status)();
    std::u16string (*tip)(const hid::AccessFacts&);
    const char* logSays;
};

std::u16string HeldStatus() { return u"他のプログラムが使用中です"; }
std::u16string HeldTip(const hid::AccessFacts&) { return std::u16string(texts::kHeldByOtherTip); }

const Problem kNotPermitted{"NotPermitted", hid::OpenError::PermissionDenied,
                            PermissionDeniedStatus, PermissionDeniedTip, "may not open it"};
const Problem kHeldByOther{"HeldByOther", hid::OpenError::HeldByOther, HeldStatus, HeldTip,
                           "another program holds it"};

auto Problems() { return ::testing::Values(kNotPermitted, kHeldByOther); }
std::string ProblemName(const ::testing::TestParamInfo<Problem>& info) { return info.param.name; }

class RefusedOpenTest : public ConsoleTest, public ::testing::WithParamInterface<Problem> {};

TEST_P(RefusedOpenTest, IsNamedOnTheStatusLabelAndOnceOnStandardError)
{
    const Problem& p = GetParam();
    Run([&](FakeWindow& w) {
        w.Tick();  // Disconnected
        board->SetOpenFails(p.error);
        board->Plug(Board(kPathA));
        w.Type(res::IDC_SEND_TEXT, u"draft");
        testing::internal::CaptureStderr();
        for (int i = 0; i < 5; ++i)
            w.Tick();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), p.status());
        EXPECT_EQ(w.tip[res::IDC_STATUS], p.tip(board->GetAccessFacts()));
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("/dev/hidraw0"), std::string::npos) << err;
        EXPECT_NE(err.find(p.logSays), std::string::npos) << err;
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"draft");  // only the label changed
        EXPECT_EQ(dlg->m_bConnected, 0);

        // Access granted, or the other program let go: the next tick
        // connects.
        board->ClearOpenFails();
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), kConnected);
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");
    });
}

// A node is looked at as soon as it appears, which on a desktop can be
// before udev has given this user access; and another program may hold
// the board for a moment: a single refusal says nothing.
TEST_P(RefusedOpenTest, ARefusalThatEndsAtTheNextTryIsNeverNamed)
{
    const Problem& p = GetParam();
    Run([&](FakeWindow& w) {
        w.Tick();  // Disconnected
        board->SetOpenFails(p.error);
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

INSTANTIATE_TEST_SUITE_P(Problems, RefusedOpenTest, Problems(), ProblemName);

// The way out is the one of the platform the console was given, whatever
// system the console runs on.
TEST_F(ConsoleTest, TheWayOutIsTheGivenPlatforms)
{
    board->SetAccessFacts({.ruleService = "rulesd", .ruleFile = "50-board.rules"});
    Run([&](FakeWindow& w) {
        w.Tick();
        board->SetOpenFails(hid::OpenError::PermissionDenied);
        board->Plug(Board(kPathA));
        testing::internal::CaptureStderr();
        w.Tick();
        w.Tick();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(w.tip[res::IDC_STATUS].find(u"50-board.rules"), std::u16string::npos);
        EXPECT_NE(err.find("rulesd rule 50-board.rules"), std::string::npos) << err;
    });
}

// The reason changes while the board stays refused: the label follows once
// the new reason has been seen twice, and the log names it once.
TEST_F(ConsoleTest, AProblemThatChangesItsReasonIsNamedAfresh)
{
    Run([&](FakeWindow& w) {
        w.Tick();
        board->SetOpenFails(hid::OpenError::PermissionDenied);
        board->Plug(Board(kPathA));
        w.Tick();
        w.Tick();
        ASSERT_EQ(w.GetItemText(res::IDC_STATUS), PermissionDeniedStatus());

        board->SetOpenFails(hid::OpenError::HeldByOther);
        testing::internal::CaptureStderr();
        w.Tick();
        w.Tick();
        w.Tick();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), HeldStatus());
        EXPECT_EQ(w.tip[res::IDC_STATUS], HeldTip({}));
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("another program holds it"), std::string::npos) << err;
        EXPECT_EQ(dlg->m_bConnected, 0);
    });
}

// However the named problem ends, the dialog is what it would have been
// without it: a board gone is a disconnection; another failure leaves the
// label as the interrupted state had it. The typed line stays throughout.
struct ProblemEnd {
    const char* name;
    bool fromDisconnected;  // else from Starting
    std::function<void(FakePlatform&)> end;
    std::u16string status;
    unsigned char connectedFlag;
};

class ProblemEndTest : public ConsoleTest,
                       public ::testing::WithParamInterface<std::tuple<Problem, ProblemEnd>> {};

TEST_P(ProblemEndTest, TheProblemsTextGoesWithIt)
{
    const Problem& p = std::get<0>(GetParam());
    const ProblemEnd& c = std::get<1>(GetParam());
    Run([&](FakeWindow& w) {
        if (c.fromDisconnected)
            w.Tick();
        board->SetOpenFails(p.error);
        board->Plug(Board(kPathA));
        w.Tick();
        w.Tick();
        ASSERT_EQ(w.GetItemText(res::IDC_STATUS), p.status());
        EXPECT_EQ(dlg->m_bConnected, c.connectedFlag);
        w.Type(res::IDC_SEND_TEXT, u"draft");

        c.end(*board);
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), c.status);
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), u"draft");
        EXPECT_EQ(dlg->m_strDevicePath, u"");
    });
}

void Unplug(FakePlatform& p) { p.Unplug(kPathA); }
void FailOtherwise(FakePlatform& p) { p.SetOpenFails(hid::OpenError::Other); }

INSTANTIATE_TEST_SUITE_P(
    Ends, ProblemEndTest,
    ::testing::Combine(
        Problems(),
        ::testing::Values(
            ProblemEnd{"BoardGoneFromStarting", false, Unplug, kNone, 1},
            ProblemEnd{"BoardGoneFromDisconnected", true, Unplug, kNone, 0},
            ProblemEnd{"OtherFailureFromStarting", false, FailOtherwise, u"", 1},
            ProblemEnd{"OtherFailureFromDisconnected", true, FailOtherwise, kNone, 0})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

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

}  // namespace
