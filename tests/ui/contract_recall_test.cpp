// The window contract: Up and Down in the input line bring back the lines
// sent, as a shell does.
#include "window_contract_fixture.h"

namespace contract_test {

TEST_F(WindowContract, UpAndDownRecallTheLinesSent)
{
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        for (const char16_t* line : {u"one", u"two", u"two"}) {
            d.Type("input", line);
            d.Press("input", Key::Enter);
            ASSERT_TRUE(d.WaitUntil([&] { return d.Text("input").empty(); }));
        }
        d.Click("boot");
        d.Focus("input");
        d.Type("input", u"draft");

        struct Step {
            Key key;
            std::u16string shows;
        } const steps[] = {
            {Key::Up, u"two"}, {Key::Up, u"one"}, {Key::Up, u"one"},
            {Key::Down, u"two"}, {Key::Down, u"draft"}, {Key::Down, u"draft"},
        };
        for (const Step& step : steps) {
            d.Press("input", step.key);
            EXPECT_EQ(d.Text("input"), step.shows);
            const int end = static_cast<int>(step.shows.size());
            EXPECT_EQ(d.Selection("input"), std::make_pair(end, end)) << "the cursor at the end";
        }

        // A recalled line is sent as it shows.
        d.Press("input", Key::Up);
        d.Press("input", Key::Up);
        d.Press("input", Key::Enter);
        ASSERT_TRUE(board->WaitWritten(kPath, 5));
        EXPECT_EQ(board->Written(kPath).back()[1], 'o');
        EXPECT_EQ(d.Text("input"), u"");
        d.Press("input", Key::Up);
        EXPECT_EQ(d.Text("input"), u"one");
    });
}

}  // namespace contract_test
