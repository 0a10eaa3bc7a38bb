// The window contract: saving the history, from the box's menu or Ctrl+S,
// into a file chosen in the system's save dialog (answered by the driver).
#include "window_contract_fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "file_write.h"
#include "test_zone.h"
#include "utf16.h"

namespace contract_test {

namespace {

namespace fs = std::filesystem;

// A folder of the test's own, gone with what it holds at the end.
class CScratch {
public:
    CScratch()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() / (std::string("wendrel-save-") + test->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    ~CScratch()
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    const fs::path& Dir() const { return m_dir; }
    std::u16string Path(const char* name) const { return (m_dir / name).u16string(); }
    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const fs::directory_entry& e : fs::directory_iterator(m_dir))
            names.insert(e.path().filename().string());
        return names;
    }

private:
    fs::path m_dir;
};

std::string Contents(const std::u16string& path)
{
    std::ifstream in(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What the box shows, as a text file of this system holds it.
std::string AsFile(const std::u16string& shown)
{
    std::string out;
    std::size_t at = 0;
    for (std::size_t end; (end = shown.find(u"\r\n", at)) != std::u16string::npos; at = end + 2)
        out += text::ToUtf8(shown.substr(at, end - at)) + std::string(base::TextLineBreak());
    return out + text::ToUtf8(shown.substr(at)) + std::string(base::TextLineBreak());
}

}  // namespace

struct OpenCase {
    const char* name;
    const char* control;  // nullptr: the box's menu entry
};

class SaveOpens : public ConsoleTable<OpenCase> {};

// The entry and Ctrl+S, wherever the focus is, open the system's dialog
// with the name and the type; cancelled, nothing is written and nothing
// said.
TEST_P(SaveOpens, TheSystemsDialogWithTheSuggestedName)
{
    const OpenCase& c = GetParam();
    d.AnswerSaveDialogs(u"");
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(Send("row ", 1, 3));
        if (c.control) {
            d.Focus(c.control);
            d.Press(c.control, Key::CtrlS);
        } else {
            d.ContextMenu("history", kSaveAs);
        }
        ASSERT_TRUE(d.WaitUntil([&] { return !d.SaveDialogs().empty(); }));
        d.ProcessEvents();
        const std::vector<contract::SaveOffer> offers = d.SaveDialogs();
        ASSERT_EQ(offers.size(), 1u);
        const contract::SaveOffer& offer = offers.front();
        EXPECT_EQ(offer.title, u"名前を付けて保存");
        const std::string name = text::ToUtf8(offer.name);
        EXPECT_TRUE(std::regex_match(name, std::regex(R"(wendrel-20\d{6}-\d{6}\.txt)"))) << name;
        EXPECT_EQ(offer.filters, std::vector<std::u16string>{u"テキスト ファイル (*.txt)"});
        EXPECT_TRUE(offer.asksBeforeReplacing);
        EXPECT_FALSE(offer.folder.empty());
        EXPECT_TRUE(d.Messages().empty());
        EXPECT_EQ(d.Text("history"), Rows(u"row ", 1, 3));
    });
}

INSTANTIATE_TEST_SUITE_P(WindowContract, SaveOpens,
                         ::testing::Values(OpenCase{"menu", nullptr},
                                           OpenCase{"ctrl_s_in_box", "history"},
                                           OpenCase{"ctrl_s_in_input", "input"}),
                         CaseName<OpenCase>);

// Every row as the box shows it, times and all, with the rows that came
// while the dialog was open: UTF-8 without a byte-order mark whatever the
// board's code page, each row ended as this system ends lines. An existing
// file is replaced.
TEST_F(WindowContract, SaveWritesEveryRowAsShown)
{
    UseZoneNineHoursEast();
    CScratch scratch;
    const std::u16string target = scratch.Path("history.txt");
    { std::ofstream(fs::path(target), std::ios::binary) << "an older file, longer than the new one\n"; }
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        dlg->clockMs = kNewYear2027Ms;
        ASSERT_TRUE(Send("row ", 1, 30));
        Push(Cp932(u"受信テキスト"));
        ASSERT_TRUE(Shows(u"受信テキスト"));
        d.ContextMenu("history", kShowTimes);
        d.AnswerSaveDialogs(target, [&] {
            Push("late 1");
            Push("late 2");
            ASSERT_TRUE(d.WaitUntil([&] { return LastRow(d.Text("history")) ==
                                                 u"09:00:00.000  late 2"; }));
        });
        d.Press("history", Key::CtrlS);
        ASSERT_TRUE(d.WaitUntil([&] { return !d.SaveDialogs().empty(); }));
        d.ProcessEvents();

        const std::u16string shown = d.Text("history");
        EXPECT_EQ(LastRow(shown), u"09:00:00.000  late 2");
        const std::string file = Contents(target);
        EXPECT_EQ(file, AsFile(shown));
        EXPECT_EQ(file.substr(0, 3), "09:") << "no byte-order mark";
        EXPECT_NE(file.find("09:00:00.000  受信テキスト"), std::string::npos);
        EXPECT_TRUE(d.Messages().empty());
    });
    EXPECT_EQ(scratch.Names(), std::set<std::string>{"history.txt"});
}

// A file that cannot be written is said, with the system's reason; what
// was there stays, nothing else is left, and the history is as it was.
TEST_F(WindowContract, SaveThatFailsSaysWhyAndLeavesEverything)
{
    CScratch scratch;
    fs::create_directory(scratch.Dir() / "taken.txt");
    { std::ofstream(scratch.Dir() / "taken.txt" / "inside.txt") << "kept"; }
    const std::u16string targets[] = {(scratch.Dir() / "missing" / "history.txt").u16string(), scratch.Path("taken.txt")};
    RunConsole([&] {
        ASSERT_TRUE(Connect());
        ASSERT_TRUE(Send("row ", 1, 5));
        for (const std::u16string& target : targets) {
            d.AnswerSaveDialogs(target);
            d.ContextMenu("history", kSaveAs);
            ASSERT_TRUE(d.WaitUntil([&] { return !d.Messages().empty(); }));
            const std::u16string message = d.Messages().front();
            EXPECT_EQ(message.rfind(u"ファイルを保存できませんでした。", 0), 0u);
            EXPECT_NE(message.find(target), std::u16string::npos);
            // The reason after the path: the system's words.
            EXPECT_GT(message.size(), message.find(target) + target.size() + 2);
            EXPECT_EQ(d.Text("history"), Rows(u"row ", 1, 5));
        }
    });
    EXPECT_EQ(scratch.Names(), std::set<std::string>{"taken.txt"});
    EXPECT_EQ(Contents((scratch.Dir() / "taken.txt" / "inside.txt").u16string()), "kept");
}

}  // namespace contract_test
