// Where things go in a dialog, whatever draws it: dialog units, a label's
// width, a minimised window's icon.
#include <gtest/gtest.h>

#include "icon_position.h"
#include "label_fit.h"
#include "resources.h"

namespace {

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

TEST(LabelWidth, GrowsToItsTextUpToTheDialogsEdge)
{
    struct Case {
        const char* name;
        int templateWidth, textWidth, left, dialogWidth;
        int width;
    } const cases[] = {
        {"text fits the template", 120, 80, 10, 480, 120},
        {"text wider: grows, a pixel to spare", 120, 150, 10, 480, 151},
        {"stops at the dialog's edge", 120, 600, 10, 480, 470},
        {"never narrower than the template", 120, 600, 400, 480, 120},
        {"empty text", 120, 0, 10, 480, 120},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wsys::FittedLabelWidth(c.templateWidth, c.textWidth, c.left, c.dialogWidth),
                  c.width)
            << c.name;
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

}  // namespace
