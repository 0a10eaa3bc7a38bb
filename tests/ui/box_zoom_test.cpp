// The history box's zoom steps and the rule its view follows by, as both
// window systems use them.
#include "box_zoom.h"
#include "row_follow.h"

#include <gtest/gtest.h>

namespace {

using wsys::CBoxZoom;
using wsys::CFollowRule;
using ZoomStep = CBoxZoom::Step;

TEST(BoxZoom, StepsStayWithinTheBoundsAndResetReturnsToTheDialogsSize)
{
    struct Case {
        int points;
        bool up;
        int next;
    };
    for (const Case& c : {Case{9, true, 10}, Case{12, true, 14}, Case{24, true, 28},
                          Case{36, true, 36}, Case{40, true, 36}, Case{9, false, 8},
                          Case{14, false, 12}, Case{6, false, 6}, Case{13, true, 14},
                          Case{13, false, 12}, Case{3, false, 6}})
        EXPECT_EQ(CBoxZoom::Next(c.points, c.up), c.next) << c.points << (c.up ? " up" : " down");

    CBoxZoom zoom(9);
    EXPECT_FALSE(zoom.Take(ZoomStep::Reset));
    for (int i = 0; i < 30; ++i)
        zoom.Take(ZoomStep::In);
    EXPECT_EQ(zoom.Points(), CBoxZoom::kMaxPoints);
    EXPECT_FALSE(zoom.Take(ZoomStep::In));
    EXPECT_TRUE(zoom.Take(ZoomStep::Reset));
    EXPECT_EQ(zoom.Points(), 9);
    EXPECT_FALSE(zoom.Zoomed());
}

TEST(BoxZoom, TheWheelStepsByWholeNotchesAndATurnBackDropsTheRest)
{
    CBoxZoom zoom(9);
    EXPECT_FALSE(zoom.Wheel(60));  // half a notch of a touchpad
    EXPECT_TRUE(zoom.Wheel(60));
    EXPECT_EQ(zoom.Points(), 10);
    EXPECT_TRUE(zoom.Wheel(240));
    EXPECT_EQ(zoom.Points(), 12);
    EXPECT_FALSE(zoom.Wheel(100));
    EXPECT_FALSE(zoom.Wheel(-100));  // not yet a notch back: the 100 up is gone
    EXPECT_TRUE(zoom.Wheel(-20));
    EXPECT_EQ(zoom.Points(), 11);
}

TEST(FollowRule, TheUsersMovesDecideTheProgramsDoNot)
{
    CFollowRule rule;
    EXPECT_TRUE(rule.Follows());
    rule.UserMoved(false);
    EXPECT_FALSE(rule.Follows());
    {
        CFollowRule::CProgramMove moving(rule);
        rule.UserMoved(true);
        EXPECT_FALSE(rule.Follows());
    }
    rule.UserMoved(true);
    EXPECT_TRUE(rule.Follows());

    // A match stops following even at the bottom; clearing follows again,
    // a restyle keeps what was.
    rule.MatchShown();
    EXPECT_FALSE(rule.Follows());
    wsys::RowChange restyle{true, 0, {}, true};
    rule.Applied(restyle);
    EXPECT_FALSE(rule.Follows());
    rule.Applied(wsys::RowChange{false, 1, {u"a"}});
    EXPECT_FALSE(rule.Follows());
    EXPECT_EQ(rule.AfterResize(7).first, 7);
    EXPECT_FALSE(rule.AfterResize(7).bottom);
    rule.Applied(wsys::RowChange{true, 0, {}});
    EXPECT_TRUE(rule.Follows());
    EXPECT_TRUE(rule.AfterResize(7).bottom);
}

}  // namespace
