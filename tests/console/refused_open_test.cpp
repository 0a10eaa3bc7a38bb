// A board that is there but cannot be opened: named on the status label
// from the second refusal, explained in its tooltip, logged once, and
// forgotten with the board.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "console_fixture.h"

using namespace console_test;

namespace {

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

// However the named problem ends, the dialog is what it would have been
// without it: a board gone from the start is the first disconnection (the
// refresh empties the input line); a board gone after one changes the label
// alone; another failure leaves the label as the interrupted state had it.
struct ProblemEnd {
    const char* name;
    bool fromDisconnected;  // else from Starting
    std::function<void(FakePlatform&)> end;
    std::u16string status;
    std::u16string typed;
    unsigned char connectedFlag;
};

class ProblemEndTest : public ConsoleTest, public ::testing::WithParamInterface<ProblemEnd> {};

TEST_P(ProblemEndTest, PermissionTextGoesWithTheProblem)
{
    const ProblemEnd& c = GetParam();
    Run([&](FakeWindow& w) {
        if (c.fromDisconnected)
            w.Tick();
        board->SetOpenFails(hid::OpenError::PermissionDenied);
        board->Plug(Board(kPathA));
        w.Tick();
        w.Tick();
        ASSERT_EQ(w.GetItemText(res::IDC_STATUS), PermissionDeniedStatus());
        EXPECT_EQ(dlg->m_bConnected, c.connectedFlag);
        w.Type(res::IDC_SEND_TEXT, u"draft");

        c.end(*board);
        w.Tick();
        EXPECT_EQ(w.GetItemText(res::IDC_STATUS), c.status);
        EXPECT_EQ(w.tip[res::IDC_STATUS], u"");
        EXPECT_EQ(w.GetItemText(res::IDC_SEND_TEXT), c.typed);
        EXPECT_EQ(dlg->m_strDevicePath, u"");
    });
}

void Unplug(FakePlatform& p) { p.Unplug(kPathA); }
void FailOtherwise(FakePlatform& p) { p.SetOpenFails(hid::OpenError::Other); }

INSTANTIATE_TEST_SUITE_P(
    Ends, ProblemEndTest,
    ::testing::Values(ProblemEnd{"BoardGoneFromStarting", false, Unplug, kNone, u"", 1},
                      ProblemEnd{"BoardGoneFromDisconnected", true, Unplug, kNone, u"draft", 0},
                      ProblemEnd{"OtherFailureFromStarting", false, FailOtherwise, u"", u"draft", 1},
                      ProblemEnd{"OtherFailureFromDisconnected", true, FailOtherwise, kNone,
                                 u"draft", 0}),
    [](const auto& info) { return std::string(info.param.name); });

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

}  // namespace
