// The window contract: the input line, as the console filters it, and the
// window layer's filter rule on a plain window.
#include "window_contract_fixture.h"

#include <utility>

namespace contract_test {

// --- the input line ---

TEST_F(WindowContract, InputRefusesWhatCannotBeSent)
{
    RunConsole([&] {
        d.Focus("input");
        d.Type("input", std::u16string(64, u'x'));
        EXPECT_EQ(d.Text("input"), std::u16string(63, u'x'));

        // While connected, also what the board's report cannot carry: a
        // kana takes two bytes in 932.
        ASSERT_TRUE(Connect());
        EXPECT_EQ(d.Text("input"), std::u16string(63, u'x')) << "63 bytes fit the report";
        d.Focus("input");
        d.Select("input", 0, 63);
        d.Type("input", std::u16string(40, u'あ'));
        EXPECT_EQ(d.Text("input"), std::u16string(31, u'あ'));
        // What the board's code page lacks is refused.
        d.Select("input", 0, 31);
        d.Type("input", u"ab한c");
        EXPECT_EQ(d.Text("input"), u"abc");
    });
}

struct PasteCase {
    const char* name;
    std::u16string before, pasted, after;
};

using PasteTest = ConsoleTable<PasteCase>;

TEST_P(PasteTest, IsCutAtTheLastWholeCharacterThatFits)
{
    const PasteCase& c = GetParam();
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        d.Focus("input");
        d.Type("input", c.before);
        d.Paste("input", c.pasted);
        EXPECT_EQ(d.Text("input"), c.after);
        const int end = static_cast<int>(c.after.size());
        EXPECT_EQ(d.Selection("input"), std::make_pair(end, end)) << "the caret after the paste";
    });
}

INSTANTIATE_TEST_SUITE_P(
    Console, PasteTest,
    ::testing::Values(
        PasteCase{"FortyKanaIntoAnEmptyLine", u"", std::u16string(40, u'あ'),
                  std::u16string(31, u'あ')},
        PasteCase{"BehindTextAlreadyThere", u"ab", std::u16string(40, u'あ'),
                  u"ab" + std::u16string(30, u'あ')},
        PasteCase{"FitsWhole", u"x", u"yz", u"xyz"},
        PasteCase{"StopsBeforeACharacterTheCodePageLacks", u"", u"あい한う", u"あい"},
        PasteCase{"PairOutsideTheCodePage", u"", u"a\U0001F600b", u"a"}),
    CaseName<PasteCase>);

struct FilterCase {
    const char* name;
    std::u16string before;
    int selStart, selEnd;  // selection before the change
    bool paste;
    std::u16string input;
    std::u16string after;
};

TEST_F(PlainWindow, InputFilterRefusesAndCutsAtWholeCharacters)
{
    // The filter: at most 8 units, no 'x'; the limit is the console's 63.
    const FilterCase cases[] = {
        {"typed", u"", 0, 0, false, u"abc", u"abc"},
        {"refused key skipped", u"", 0, 0, false, u"abxc", u"abc"},
        {"typed past the filter", u"abcdefgh", 8, 8, false, u"i", u"abcdefgh"},
        {"refused key over a selection", u"abcdef", 1, 3, false, u"x", u"abcdef"},
        {"paste cut to fit", u"abc", 3, 3, true, u"123456789", u"abc12345"},
        {"paste cut before a refused char", u"", 0, 0, true, u"12x45", u"12"},
        {"paste in the middle", u"abcd", 2, 2, true, u"123456", u"ab1234cd"},
        {"paste over a selection", u"abcdef", 0, 6, true, u"123456789", u"12345678"},
        {"paste wholly refused", u"abc", 1, 2, true, u"x", u"abc"},
        {"pair not split", u"abcdef", 6, 6, true, u"g\U0001F600", u"abcdefg"},
        {"pair typed", u"ab", 2, 2, false, u"\U0001F600", u"ab\U0001F600"},
        {"pair typed past the filter", u"abcdefg", 7, 7, false, u"\U0001F600", u"abcdefg"},
    };
    Run([&] {
        wnd->LimitText(res::IDC_SEND_TEXT, 63);
        wnd->SetInputFilter(res::IDC_SEND_TEXT, [](const std::u16string& t) {
            return t.size() <= 8 && t.find(u'x') == std::u16string::npos;
        });
        d.Focus("input");
        for (const FilterCase& c : cases) {
            SCOPED_TRACE(c.name);
            wnd->SetItemText(res::IDC_SEND_TEXT, c.before);
            d.Select("input", c.selStart, c.selEnd);
            if (c.paste)
                d.Paste("input", c.input);
            else
                d.Type("input", c.input);
            EXPECT_EQ(wnd->GetItemText(res::IDC_SEND_TEXT), c.after);
        }
        // The program's own text is not the user's: no filter.
        wnd->SetItemText(res::IDC_SEND_TEXT, u"xxxxxxxxxx");
        EXPECT_EQ(wnd->GetItemText(res::IDC_SEND_TEXT), u"xxxxxxxxxx");
        // A refused change leaves the selection as it was.
        wnd->SetItemText(res::IDC_SEND_TEXT, u"abcdef");
        d.Select("input", 1, 3);
        d.Type("input", u"x");
        EXPECT_EQ(d.Selection("input"), std::make_pair(1, 3));
        // The edit control's own limit cuts a pair in two: that half goes.
        wnd->LimitText(res::IDC_SEND_TEXT, 7);
        wnd->SetItemText(res::IDC_SEND_TEXT, u"abcdef");
        d.Select("input", 6, 6);
        d.Paste("input", u"\U0001F600");
        EXPECT_EQ(wnd->GetItemText(res::IDC_SEND_TEXT), u"abcdef");
    });
}

}  // namespace contract_test
